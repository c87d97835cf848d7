// Hostile documents and texts: each is refused with a clear exception in bounded time and
// memory, and nothing stored or exported before is lost.
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "base/StringUtils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "prefs/PreferencesXmlReader.h"
#include "support/AddressSpaceLimit.h"
#include "xml/XmlPreferencesFixture.h"

namespace krel_test {
namespace {

class PreferencesXmlHostileInputTest : public XmlPreferencesTest {
protected:
    std::pair<std::wstring, std::wstring> importFile(const std::string& bytes) {
        writeBytes("in.xml", bytes);
        return failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    }

    std::wstring invalid(const std::wstring& detail = std::wstring()) {
        return L"Input file <" + path("in.xml") + L"> has invalid XML format." + detail;
    }

    // Node elements nested `depth` levels below the root, the innermost holding one entry.
    static std::string nestedDocument(unsigned int depth) {
        std::string text = "<preferences><root type=\"user\"><map/>";
        for (unsigned int level = 1; level < depth; ++level) {
            text += "<node name=\"n\"><map/>";
        }
        text += "<node name=\"n\"><map><entry key=\"deep\" value=\"yes\"/></map>";
        for (unsigned int level = 0; level < depth; ++level) {
            text += "</node>";
        }
        return text + "</root></preferences>";
    }

    // The timing bounds are generous: the deepest accepted document and a refused one take
    // milliseconds on an idle machine.
    template <class Call> static double secondsOf(Call call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

// One internal entity of 100 000 characters referenced 20 000 times in one attribute: a 160 KB
// document that would expand to two billion characters.
std::string expandingEntityDocument() {
    std::string text = "<?xml version=\"1.0\"?><!DOCTYPE preferences [<!ENTITY big \"" +
                       std::string(100000, 'x') +
                       "\">]><preferences><root type=\"user\"><map><entry key=\"k\" value=\"";
    for (int reference = 0; reference < 20000; ++reference) {
        text += "&big;";
    }
    return text + "\"/></map></root></preferences>";
}

std::string expandingEntityIsRefusedWithinTheLimit(const std::wstring& file) {
    try {
        krel_std::Preferences::importPreferences(file);
    } catch (const krel_std::KrelInvalidPreferencesFormatException&) {
        return krel_std::Preferences::userRoot()->keys().empty() ? "" : "an entry was stored";
    } catch (const std::exception& other) {
        return std::string("unexpected exception: ") + other.what();
    }
    return "the document was imported";
}

class PreferencesXmlUnderMemoryLimitTest : public PreferencesXmlHostileInputTest {
protected:
    void SetUp() override {
        if (krel_test::addressSanitizerActive()) {
            GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
        }
        PreferencesXmlHostileInputTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

TEST_F(PreferencesXmlUnderMemoryLimitTest, AnExpandingEntityIsRefusedInBoundedMemory) {
    writeBytes("in.xml", expandingEntityDocument());
    const std::wstring file = path("in.xml");
    EXPECT_EXIT(krel_test::exitWithCheckUnderLimit(
                    256ULL << 20, [&file] { return expandingEntityIsRefusedWithinTheLimit(file); }),
                ::testing::ExitedWithCode(0), "");
}

std::string exhaustedMemoryIsOutOfResources(const std::wstring& file) {
    try {
        krel_std::Preferences::importPreferences(file);
    } catch (const krel_std::KrelOutOfResourcesException&) {
        return "";
    } catch (const std::exception& other) {
        return std::string("unexpected exception: ") + other.what();
    }
    return "the document was imported";
}

// The file is read within the limit; the parser runs out of memory on the value.
TEST_F(PreferencesXmlUnderMemoryLimitTest, MemoryRunningOutBecomesOutOfResources) {
    writeBytes("in.xml", "<preferences><root type=\"user\"><map><entry key=\"k\" value=\"" +
                             std::string(24u << 20, 'v') + "\"/></map></root></preferences>");
    const std::wstring file = path("in.xml");
    EXPECT_EXIT(krel_test::exitWithCheckUnderLimit(
                    56ULL << 20, [&file] { return exhaustedMemoryIsOutOfResources(file); }),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(PreferencesXmlHostileInputTest, AnInternalDocumentTypeSubsetIsRefusedNamingWhy) {
    const auto failure = importFile(
        "<!DOCTYPE preferences SYSTEM 'http://java.sun.com/dtd/preferences.dtd' []>"
        "<preferences><root type=\"user\"><map><entry key=\"k\" value=\"v\"/></map></root>"
        "</preferences>");
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second, L"A document type declaration with an internal subset is not "
                              L"accepted.");
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlHostileInputTest, NodesNestedToTheLimitImportQuickly) {
    writeBytes("in.xml", nestedDocument(krel_std::PreferencesXmlReader::MAX_NODE_DEPTH));
    const double seconds =
        secondsOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    EXPECT_LT(seconds, 5.0);
    std::wstring deepest;
    for (unsigned int level = 0; level < krel_std::PreferencesXmlReader::MAX_NODE_DEPTH; ++level) {
        deepest += L"/n";
    }
    EXPECT_EQ(user->node(deepest)->get(L"deep", L""), L"yes");
}

TEST_F(PreferencesXmlHostileInputTest, NodesNestedPastTheLimitAreRefusedAtOnceStoringNothing) {
    std::pair<std::wstring, std::wstring> failure;
    writeBytes("in.xml", nestedDocument(100000));
    const double seconds = secondsOf([&] {
        failure = failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    });
    EXPECT_LT(seconds, 5.0);
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second, L"Nodes are nested deeper than the limit of 512 levels.");
    EXPECT_TRUE(user->childrenNames().empty());
}

TEST_F(PreferencesXmlHostileInputTest, ALongRefusedValueIsQuotedByAShortPrefix) {
    const auto failure =
        importFile("<preferences><root type=\"user\"><map><entry key=\"k\" value=\"" +
                   std::string(100000, 'v') + "\"/></map></root></preferences>");
    EXPECT_EQ(failure.first,
              invalid(L" Invalid attribute key <k> or value <" +
                      std::wstring(krel_std::StringUtils::QUOTED_TEXT_LIMIT, L'v') + L"\u2026>."));
}

TEST_F(PreferencesXmlHostileInputTest, AnOverlongLessThanIsRefusedAsNotUtf8) {
    const auto failure = importFile("<preferences><root type=\"user\"><map><entry key=\"k\" "
                                    "value=\"\xC0\xBC"
                                    "node\"/></map></root></preferences>");
    EXPECT_EQ(failure.first, L"Input file <" + path("in.xml") + L"> is not in UTF-8 format.");
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlHostileInputTest, AFileLargerThanTheLimitIsRefusedBeforeReading) {
    writeBytes("in.xml", "<preferences/>");
    std::filesystem::resize_file(native("in.xml"),
                                 krel_std::PreferencesXmlReader::MAX_DOCUMENT_BYTES + 1);
    EXPECT_EQ(failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); }).first,
              L"Input file <" + path("in.xml") + L"> is larger than the limit of " +
                  std::to_wstring(krel_std::PreferencesXmlReader::MAX_DOCUMENT_BYTES) + L" bytes.");
}

TEST_F(PreferencesXmlHostileInputTest, AValueXmlCannotCarryIsRefusedBeforeTheTargetIsTouched) {
    writeBytes("out.xml", "previous export");
    user->node(L"a")->put(L"plain", L"text");
    user->node(L"a/b")->put(L"k", L"escape \x1B here");
    const auto failure = failureOf([&] { user->exportSubtree(path("out.xml")); });
    EXPECT_EQ(failure.first,
              L"Value of key <k> of node </a/b> holds U+001B, which an XML document cannot carry.");
    EXPECT_EQ(readBytes("out.xml"), "previous export");
    EXPECT_THROW(user->node(L"a/b")->exportNode(path("out.xml")),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_EQ(readBytes("out.xml"), "previous export");
}

TEST_F(PreferencesXmlHostileInputTest, ANodeNameXmlCannotCarryIsRefusedNamingTheNode) {
    writeBytes("out.xml", "previous export");
    user->node(L"bad\uFFFFname");
    EXPECT_EQ(failureOf([&] { user->exportSubtree(path("out.xml")); }).first,
              L"Name of node </bad\uFFFFname> holds U+FFFF, which an XML document cannot carry.");
    EXPECT_EQ(readBytes("out.xml"), "previous export");
}

} // namespace
} // namespace krel_test
