#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/Utf16.h"
#include "xml/XmlPreferencesFixture.h"

namespace krel_test {
namespace {

// Documents exchanged with the standard Java preferences, kept in a temporary home.
class PreferencesXmlJavaTest : public XmlPreferencesTest {
protected:
    // Runs the Java program on the input document; answers its exit status.
    int runJava(const std::string& input, const std::string& output) {
#if defined(KREL_JAVA) && defined(KREL_JAVA_CLASSES)
        const std::string home = native("home").string();
        const std::string command =
            std::string("'") + KREL_JAVA + "' -Duser.home='" + home +
            "' -Djava.util.prefs.userRoot='" + home + "/user' -Djava.util.prefs.systemRoot='" +
            home + "/system' -cp '" + KREL_JAVA_CLASSES + "' PreferencesRoundTrip '" +
            native(input).string() + "' '" + native(output).string() + "' 2>'" +
            native("java.log").string() + "'";
        return std::system(command.c_str());
#else
        (void)input;
        (void)output;
        return -1;
#endif
    }
};

TEST_F(PreferencesXmlJavaTest, JavaImportsOurDocumentAndOursImportsItsExportBackEqual) {
#if !defined(KREL_JAVA)
    GTEST_SKIP() << "no Java development kit found at configuration";
#endif
    const std::vector<std::wstring> texts = {
        L"plain",           L"caf\u00e9 \u4e2d\u6587", L"\U0001F600 above",
        L"q\" a& l< g> s'", L"line\r\nbreak\ttab",     std::wstring(8192, L'x')};
    for (const std::wstring& name : {std::wstring(L"app"), std::wstring(L"caf\u00e9")}) {
        const boost::shared_ptr<krel_std::Preferences> node = user->node(name);
        for (std::size_t index = 0; index < texts.size(); ++index) {
            node->put(L"key " + std::to_wstring(index), texts[index]);
        }
        node->node(L"child")->put(L"k", name);
    }
    const Snapshot before = snapshot(user);
    user->exportSubtree(path("ours.xml"));

    ASSERT_EQ(runJava("ours.xml", "theirs.xml"), 0) << readBytes("java.log");
    ASSERT_NE(readBytes("theirs.xml").find("EXTERNAL_XML_VERSION"), std::string::npos);
    MemoryPreferencesFactory::registered().reset();
    krel_std::Preferences::importPreferences(path("theirs.xml"));
    EXPECT_EQ(snapshot(krel_std::Preferences::userRoot()), before) << readBytes("theirs.xml");
}

} // namespace
} // namespace krel_test
