#include "prefs/PreferencesXmlWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/Utf16.h"
#include "prefs/PreferencesXmlReader.h"
#include "support/ChildWithLimit.h"
#include "support/OtherAccount.h"
#include "xml/XmlPreferencesFixture.h"

namespace krel_test {
namespace {

using PreferencesXmlWriterTest = XmlPreferencesTest;

TEST_F(PreferencesXmlWriterTest, ExportNodeWritesTheNodeBelowEmptyAncestorMaps) {
    user->node(L"a")->put(L"shade", L"dark");
    user->node(L"/a/b")->put(L"color", L"blue");
    user->node(L"/a/b/c")->put(L"hidden", L"yes");
    user->node(L"/a/b")->exportNode(path("out.xml"));
    EXPECT_EQ(readBytes("out.xml"),
              header() +
                  document({"\t<root type=\"user\">", "\t\t<map/>", "\t\t<node name=\"a\">",
                            "\t\t\t<map/>", "\t\t\t<node name=\"b\">", "\t\t\t\t<map>",
                            "\t\t\t\t\t<entry key=\"color\" value=\"blue\"/>", "\t\t\t\t</map>",
                            "\t\t\t</node>", "\t\t</node>", "\t</root>", "</preferences>"}));
}

TEST_F(PreferencesXmlWriterTest, ExportSubtreeOfTheSystemRootPutsChildrenAtLevelThree) {
    system->put(L"size", L"10");
    system->node(L"c")->put(L"mode", L"fast");
    system->exportSubtree(path("out.xml"));
    EXPECT_EQ(readBytes("out.xml"),
              header() +
                  document({"\t<root type=\"system\">", "\t\t<map>",
                            "\t\t\t<entry key=\"size\" value=\"10\"/>", "\t\t</map>",
                            "\t\t\t<node name=\"c\">", "\t\t\t\t<map>",
                            "\t\t\t\t\t<entry key=\"mode\" value=\"fast\"/>", "\t\t\t\t</map>",
                            "\t\t\t</node>", "\t</root>", "</preferences>"}));
}

TEST_F(PreferencesXmlWriterTest, ANodeWithoutKeysHasAnEmptyMap) {
    user->node(L"/x/y");
    user->node(L"/x/y")->exportNode(path("out.xml"));
    EXPECT_EQ(readBytes("out.xml"),
              header() + document({"\t<root type=\"user\">", "\t\t<map/>", "\t\t<node name=\"x\">",
                                   "\t\t\t<map/>", "\t\t\t<node name=\"y\">", "\t\t\t\t<map/>",
                                   "\t\t\t</node>", "\t\t</node>", "\t</root>", "</preferences>"}));
}

TEST_F(PreferencesXmlWriterTest, TheRootExportedAloneKeepsItsEntriesAndLeavesItsChildrenOut) {
    user->put(L"k", L"v");
    user->node(L"child")->put(L"x", L"y");
    user->exportNode(path("out.xml"));
    EXPECT_EQ(readBytes("out.xml"),
              header() + document({"\t<root type=\"user\">", "\t\t<map>",
                                   "\t\t\t<entry key=\"k\" value=\"v\"/>", "\t\t</map>",
                                   "\t</root>", "</preferences>"}));
}

TEST_F(PreferencesXmlWriterTest, AttributeValuesEscapeMarkupLineBreaksAndTabs) {
    user->node(L"n&\"<>'")->put(L"k", L"a&b<c>d\"e'f\rg\nh\ti\u00e9");
    user->node(L"n&\"<>'")->exportNode(path("out.xml"));
    const std::string text = readBytes("out.xml");
    EXPECT_NE(text.find("<node name=\"n&amp;&quot;&lt;>'\">"), std::string::npos) << text;
    EXPECT_NE(
        text.find("<entry key=\"k\" value=\"a&amp;b&lt;c>d&quot;e'f&#13;g&#10;h&#9;i\xC3\xA9\"/>"),
        std::string::npos)
        << text;
}

TEST_F(PreferencesXmlWriterTest, ASubtreeNeedingEscapesIsWrittenByteForByte) {
    const boost::shared_ptr<krel_std::Preferences> top = user->node(L"t\u00f6p & <co>");
    top->put(L"a\"b", L"x\ty\r\nz '>' \u20ac\U0001F600");
    top->put(L"plain", L"");
    top->node(L"sub\tname")->put(L"k", L"&amp;");
    top->node(L"empty");
    top->exportSubtree(path("out.xml"));
    EXPECT_EQ(readBytes("out.xml"),
              header() +
                  document({"\t<root type=\"user\">", "\t\t<map/>",
                            "\t\t<node name=\"t\xC3\xB6p &amp; &lt;co>\">", "\t\t\t<map>",
                            "\t\t\t\t<entry key=\"a&quot;b\" value=\"x&#9;y&#13;&#10;z '>' "
                            "\xE2\x82\xAC\xF0\x9F\x98\x80\"/>",
                            "\t\t\t\t<entry key=\"plain\" value=\"\"/>", "\t\t\t</map>",
                            "\t\t\t<node name=\"empty\">", "\t\t\t\t<map/>", "\t\t\t</node>",
                            "\t\t\t<node name=\"sub&#9;name\">", "\t\t\t\t<map>",
                            "\t\t\t\t\t<entry key=\"k\" value=\"&amp;amp;\"/>", "\t\t\t\t</map>",
                            "\t\t\t</node>", "\t\t</node>", "\t</root>", "</preferences>"}));
}

// Large enough that the document is made in several pieces.
TEST_F(PreferencesXmlWriterTest, ALargeSubtreeIsWrittenWholeInOrder) {
    std::vector<std::string> lines = {"\t<root type=\"user\">", "\t\t<map/>"};
    for (int index = 0; index < 300; ++index) {
        const std::wstring name = L"n" + std::to_wstring(1000 + index);
        const boost::shared_ptr<krel_std::Preferences> child = user->node(name);
        const std::wstring value(100 + index, L'\u00e9');
        child->put(L"v", value);
        std::string encoded;
        for (std::size_t count = 0; count < value.size(); ++count) {
            encoded += "\xC3\xA9";
        }
        lines.push_back("\t\t\t<node name=\"n" + std::to_string(1000 + index) + "\">");
        lines.insert(lines.end(),
                     {"\t\t\t\t<map>", "\t\t\t\t\t<entry key=\"v\" value=\"" + encoded + "\"/>",
                      "\t\t\t\t</map>", "\t\t\t</node>"});
    }
    lines.insert(lines.end(), {"\t</root>", "</preferences>"});
    std::string expected = header();
    for (const std::string& line : lines) {
        expected += line + "\r\n";
    }
    user->exportSubtree(path("out.xml"));
    EXPECT_EQ(readBytes("out.xml"), expected);
}

TEST_F(PreferencesXmlWriterTest, ASecondWriteTruncatesTheFile) {
    user->node(L"a")->put(L"long", std::wstring(200, L'x'));
    krel_std::PreferencesXmlWriter writer(user->node(L"a"), path("out.xml"));
    writer.writePrefs();
    user->node(L"a")->remove(L"long");
    writer.writePrefs();
    EXPECT_EQ(readBytes("out.xml"),
              header() + document({"\t<root type=\"user\">", "\t\t<map/>", "\t\t<node name=\"a\">",
                                   "\t\t\t<map/>", "\t\t</node>", "\t</root>", "</preferences>"}));
}

TEST_F(PreferencesXmlWriterTest, MissingParentDirectoriesAreCreated) {
    user->exportNode(path("one/two/out.xml"));
    EXPECT_FALSE(readBytes("one/two/out.xml").empty());
}

TEST_F(PreferencesXmlWriterTest, AnExportThatRunsOutOfSpaceLeavesTheOldFileWholeAndTellsWhy) {
    const std::string old = std::string(8192, 'o');
    writeBytes("out.xml", old);
    for (int i = 0; i < 2000; ++i) {
        user->put(L"key" + std::to_wstring(i), std::wstring(40, L'v'));
    }
    const int code = krel_test::runInChildWithLimit(RLIMIT_FSIZE, 16 * 1024, [&] {
        const auto failure = failureOf([&] { user->exportNode(path("out.xml")); });
        const bool told =
            failure.first == L"Write file failed." &&
            failure.second == path("out.xml") + L": 112:There is not enough space on the disk.";
        return told ? 0 : 1;
    });
    EXPECT_EQ(0, code);
    EXPECT_EQ(old, readBytes("out.xml"));
}

TEST_F(PreferencesXmlWriterTest, AnExportToAPipeIsWrittenInPlace) {
    int ends[2];
    ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
    user->exportNode(krel_platform::utf8ToWide("/proc/self/fd/" + std::to_string(ends[1])));
    close(ends[1]);
    std::string received;
    char bytes[4096];
    for (ssize_t count; (count = read(ends[0], bytes, sizeof(bytes))) > 0;) {
        received.append(bytes, static_cast<size_t>(count));
    }
    close(ends[0]);
    EXPECT_EQ(header(), received.substr(0, header().size()));
}

TEST_F(PreferencesXmlWriterTest, AnExportRefusesALinkThatAnotherAccountPlanted) {
    if (!otherAccountUnavailable().empty()) {
        GTEST_SKIP() << otherAccountUnavailable();
    }
    writeBytes("victim", "precious");
    std::filesystem::create_directory(native("shared"));
    ASSERT_EQ(0, chmod(root.c_str(), 0755));
    ASSERT_TRUE(krel_test::shareDirectory(native("shared")));
    ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), native("shared/out.xml")));
    const auto failure = failureOf([&] { user->exportNode(path("shared/out.xml")); });
    EXPECT_EQ(L"Unable to open or create file.", failure.first);
    EXPECT_EQ(0u, failure.second.find(path("shared/out.xml") + L": 5:")) << failure.second;
    EXPECT_EQ("precious", readBytes("victim"));
}

TEST_F(PreferencesXmlWriterTest, AFileBeingWrittenCannotBeImported) {
    krel_std::PreferencesXmlWriter writer(user, path("out.xml"));
    EXPECT_EQ(failureOf([&] { krel_std::Preferences::importPreferences(path("out.xml")); }).first,
              L"Unable to open or create file.");
    writer.writePrefs();
    EXPECT_NO_THROW(krel_std::Preferences::importPreferences(path("out.xml")));
}

TEST_F(PreferencesXmlWriterTest, ArgumentsAreChecked) {
    EXPECT_EQ(failureOf([&] {
                  krel_std::PreferencesXmlWriter(boost::shared_ptr<krel_std::Preferences>(),
                                                 path("out.xml"));
              }).first,
              L"Preferences node value is NULL.");
    EXPECT_EQ(failureOf([&] { krel_std::PreferencesXmlWriter(user, L""); }).first,
              L"Output filename value is empty.");
}

TEST_F(PreferencesXmlWriterTest, ARemovedNodeEndsTheWriteAsAClosedOutput) {
    const boost::shared_ptr<krel_std::Preferences> node = user->node(L"gone");
    krel_std::PreferencesXmlWriter writer(node, path("out.xml"));
    node->removeNode();
    const auto failure = failureOf([&] { writer.writePrefs(); });
    EXPECT_EQ(failure.first, L"Output file was closed before write.");
    EXPECT_FALSE(failure.second.empty());
}

TEST_F(PreferencesXmlWriterTest, TextFormsNameTheNodeAndTheFile) {
    krel_std::PreferencesXmlWriter writer(user, path("out.xml"));
    EXPECT_EQ(writer.toString(),
              L"PreferencesXmlWriter{node=User Preference Node: /,outputFilename='" +
                  path("out.xml") + L"'}");
    EXPECT_EQ(krel_std::PreferencesXmlReader(L"in.xml").toString(),
              L"PreferencesXmlReader{inputFilename='in.xml'}");
}

} // namespace
} // namespace krel_test
