#include "prefs/PreferencesXmlReader.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "xml/XmlPreferencesFixture.h"

namespace krel_test {
namespace {

class PreferencesXmlReaderTest : public XmlPreferencesTest {
protected:
    // Imports a document of the given body lines below the two header lines.
    std::pair<std::wstring, std::wstring> importBody(std::initializer_list<std::string> lines) {
        writeBytes("in.xml", header() + document(lines));
        return failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    }

    std::wstring invalid(const std::wstring& detail = std::wstring()) {
        return L"Input file <" + path("in.xml") + L"> has invalid XML format." + detail;
    }
};

TEST_F(PreferencesXmlReaderTest, AnExportNodeDocumentCreatesTheNodesAndStoresOnlyItsEntries) {
    user->node(L"a")->put(L"shade", L"dark");
    user->node(L"/a/b")->put(L"color", L"blue");
    user->node(L"/a/b")->exportNode(path("in.xml"));
    MemoryPreferencesFactory::registered().reset();
    const boost::shared_ptr<krel_std::Preferences> fresh = krel_std::Preferences::userRoot();
    fresh->node(L"a")->put(L"kept", L"1");
    fresh->node(L"/a/b")->put(L"other", L"2");

    krel_std::Preferences::importPreferences(path("in.xml"));

    EXPECT_EQ(fresh->node(L"a")->keys(), std::vector<std::wstring>{L"kept"});
    EXPECT_EQ(fresh->node(L"/a/b")->get(L"color", L""), L"blue");
    EXPECT_EQ(fresh->node(L"/a/b")->get(L"other", L""), L"2");
    EXPECT_TRUE(fresh->keys().empty());
}

TEST_F(PreferencesXmlReaderTest, TheRootTypeChoosesTheTreeAndOtherTypesAreRefused) {
    EXPECT_EQ(importBody({"<root type=\"system\"><map><entry key=\"k\" value=\"v\"/></map></root>",
                          "</preferences>"})
                  .first,
              L"(nothing thrown)");
    EXPECT_EQ(system->get(L"k", L""), L"v");
    EXPECT_TRUE(user->keys().empty());
    EXPECT_EQ(importBody({"<root type=\"User\"><map/></root>", "</preferences>"}).first,
              invalid(L" Invalid root type <User>."));
}

TEST_F(PreferencesXmlReaderTest, TwoMapsUnderANodeAreRefusedWithTheXmlErrorAsCause) {
    const auto failure =
        importBody({"<root type=\"user\"><map/>", "<node name=\"n\"><map/><map/></node>", "</root>",
                    "</preferences>"});
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second,
              L"2 child nodes with <map> tag found when expecting one under <node> tag.");
}

TEST_F(PreferencesXmlReaderTest, AnEntryWithoutKeyOrValueIsRefusedNamingTheAttribute) {
    EXPECT_EQ(
        importBody({"<root type=\"user\"><map><entry value=\"v\"/></map></root>", "</preferences>"})
            .first,
        invalid(L" Attribute <key> not found."));
    EXPECT_EQ(
        importBody({"<root type=\"user\"><map><entry/></map></root>", "</preferences>"}).first,
        invalid(L" Attribute <key> not found."));
    EXPECT_EQ(
        importBody({"<root type=\"user\"><map><entry key=\"k\"/></map></root>", "</preferences>"})
            .first,
        invalid(L" Attribute <value> not found."));
}

TEST_F(PreferencesXmlReaderTest, TextAndCdataBetweenElementsAreIgnored) {
    EXPECT_EQ(
        importBody({"<root type=\"user\">root text<map>a &amp; b<![CDATA[<entry key=\"hidden\" "
                    "value=\"x\"/>]]><entry key=\"k\" value=\"v\"/>tail</map>",
                    "<node name=\"n\">node text<map/></node></root>", "</preferences>"})
            .first,
        L"(nothing thrown)");
    EXPECT_EQ(user->keys(), std::vector<std::wstring>{L"k"});
    EXPECT_EQ(user->get(L"k", L""), L"v");
    EXPECT_TRUE(user->nodeExists(L"n"));
}

TEST_F(PreferencesXmlReaderTest, AProcessingInstructionNamedEntryIsRefused) {
    const auto failure =
        importBody({"<root type=\"user\"><map><?entry key=\"k\" value=\"v\"?></map></root>",
                    "</preferences>"});
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second, L"<entry> node is invalid.");
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlReaderTest, AnAttributeGivenTwiceIsRefusedByTheParser) {
    const auto failure = importBody(
        {"<root type=\"user\"><map><entry key=\"k\" value=\"v\" key=\"j\"/></map></root>",
         "</preferences>"});
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second.rfind(L"Unable to parse input: ", 0), 0u) << failure.second;
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlReaderTest, AnEmptyNodeNameIsRefused) {
    EXPECT_EQ(importBody({"<root type=\"user\"><map/><node name=\"\"><map/></node></root>",
                          "</preferences>"})
                  .first,
              invalid(L" Node name is empty."));
}

TEST_F(PreferencesXmlReaderTest, NamesAndValuesTheTreeRefusesAreNamedWithTheRefusalAsCause) {
    const std::string longName(81, 'n');
    auto failure = importBody(
        {"<root type=\"user\"><map/><node name=\"" + longName + "\"><map/></node></root>",
         "</preferences>"});
    EXPECT_EQ(failure.first,
              invalid(L" Invalid preference node name <" + std::wstring(81, L'n') + L">."));
    EXPECT_FALSE(failure.second.empty());
    failure = importBody({"<root type=\"user\"><map><entry key=\"" + std::string(81, 'k') +
                              "\" value=\"v\"/></map></root>",
                          "</preferences>"});
    EXPECT_EQ(failure.first,
              invalid(L" Invalid attribute key <" + std::wstring(81, L'k') + L"> or value <v>."));
    EXPECT_FALSE(failure.second.empty());
}

TEST_F(PreferencesXmlReaderTest, ANodeNameWithASlashIsRefusedAndReachesNoOtherNode) {
    const auto failure =
        importBody({"<root type=\"user\"><map/><node name=\"/\"><map><entry key=\"k\" "
                    "value=\"v\"/></map></node></root>",
                    "</preferences>"});
    EXPECT_EQ(failure.first, invalid(L" Invalid preference node name </>."));
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlReaderTest, EntriesStoredBeforeAFailureStay) {
    importBody({"<root type=\"user\"><map><entry key=\"first\" value=\"1\"/><entry "
                "value=\"x\"/></map></root>",
                "</preferences>"});
    EXPECT_EQ(user->get(L"first", L""), L"1");
}

TEST_F(PreferencesXmlReaderTest, BytesThatAreNotUtf8AreRefusedBeforeParsing) {
    writeBytes("in.xml", header() +
                             "\t<root type=\"user\"><map><entry key=\"k\" value=\"caf\xE9\"/>"
                             "</map></root></preferences>\r\n");
    EXPECT_EQ(failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); }).first,
              L"Input file <" + path("in.xml") + L"> is not in UTF-8 format.");
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlReaderTest, AMissingFileCannotBeOpened) {
    EXPECT_EQ(failureOf([&] { krel_std::Preferences::importPreferences(path("none.xml")); }).first,
              L"Unable to open or create file.");
}

TEST_F(PreferencesXmlReaderTest, AnEmptyFileNameIsAnIllegalArgument) {
    EXPECT_THROW(krel_std::PreferencesXmlReader(L""), krel_std::KrelIllegalArgumentException);
}

TEST_F(PreferencesXmlReaderTest, ADocumentElementOtherThanPreferencesIsRefused) {
    writeBytes("in.xml", "<prefs><root type=\"user\"><map/></root></prefs>");
    const auto failure =
        failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second, L"<prefs> node does not match expected node <preferences>.");
}

TEST_F(PreferencesXmlReaderTest, RawLineBreaksAreDroppedAndTheTextEndsAtANul) {
    using namespace std::string_literals;
    writeBytes("in.xml", "<preferences><root type=\"user\"><map><entry key=\"k\" "
                         "value=\"a\r\nb\"/></map></root></preferences>\0junk"s);
    krel_std::Preferences::importPreferences(path("in.xml"));
    EXPECT_EQ(user->get(L"k", L""), L"ab");
}

TEST_F(PreferencesXmlReaderTest, AControlCharacterXmlCannotCarryFailsWithTheParserMessage) {
    writeBytes("in.xml", header() + document({"\t<root type=\"user\"><map><entry key=\"k\" "
                                              "value=\"a\x01"
                                              "b\"/></map></root>",
                                              "</preferences>"}));
    const auto failure =
        failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    EXPECT_EQ(failure.first, invalid());
    EXPECT_EQ(failure.second.rfind(L"Unable to parse input: ", 0), 0u) << failure.second;
}

TEST_F(PreferencesXmlReaderTest, ADocumentInJavasOwnStyleIsImported) {
    writeBytes("in.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
               "<!DOCTYPE preferences SYSTEM \"http://java.sun.com/dtd/preferences.dtd\">\n"
               "<preferences EXTERNAL_XML_VERSION=\"1.0\">\n"
               "  <root type=\"user\">\n"
               "    <map/>\n"
               "    <node name=\"app\">\n"
               "      <map>\n"
               "        <entry key=\"greeting\" value=\"hi &amp; bye\"/>\n"
               "      </map>\n"
               "    </node>\n"
               "  </root>\n"
               "</preferences>\n");
    krel_std::Preferences::importPreferences(path("in.xml"));
    EXPECT_EQ(user->node(L"app")->get(L"greeting", L""), L"hi & bye");
}

TEST_F(PreferencesXmlReaderTest, AnExternalEntityInAValueIsNotRead) {
    writeBytes("secret.txt", "TOP-SECRET");
    writeBytes("in.xml", "<!DOCTYPE preferences [<!ENTITY x SYSTEM \"file://" +
                             native("secret.txt").string() +
                             "\">]><preferences><root type=\"user\"><map><entry key=\"k\" "
                             "value=\"v\"/></map><node name=\"n\"><map/>&x;</node></root>"
                             "</preferences>");
    failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
    EXPECT_FALSE(user->nodeExists(L"/TOP-SECRET"));
    for (const std::wstring& name : user->childrenNames()) {
        EXPECT_EQ(name.find(L"TOP-SECRET"), std::wstring::npos);
    }
}

TEST_F(PreferencesXmlReaderTest, AnUndefinedEntityRefusesTheDocumentWithOrWithoutTheDoctype) {
    const std::string body =
        document({"<root type=\"user\"><map><entry key=\"a\" value=\"1\"/>",
                  "<entry key=\"k\" value=\"x&undefined;y\"/></map></root>", "</preferences>"});
    for (const std::string& head : {header(), std::string("<preferences>")}) {
        SCOPED_TRACE(head);
        writeBytes("in.xml", head + body);
        const auto failure =
            failureOf([&] { krel_std::Preferences::importPreferences(path("in.xml")); });
        EXPECT_EQ(failure.first, invalid());
        EXPECT_EQ(failure.second, L"Unable to parse input: entity 'undefined' not found");
        EXPECT_TRUE(user->keys().empty());
    }
}

TEST_F(PreferencesXmlReaderTest, AnUndefinedEntityBetweenElementsRefusesTheDocument) {
    EXPECT_EQ(importBody({"<root type=\"user\"><map><entry key=\"a\" value=\"1\"/>",
                          "&undefined;</map></root>", "</preferences>"})
                  .first,
              invalid());
    EXPECT_TRUE(user->keys().empty());
}

TEST_F(PreferencesXmlReaderTest, PredefinedEntitiesAndCharacterReferencesAreReadAfterTheDoctype) {
    EXPECT_EQ(importBody({"<root type=\"user\"><map>",
                          "<entry key=\"k&amp;\" value=\"&lt;&gt;&amp;&quot;&apos; "
                          "&#233;&#x20AC;&#x1F600;\"/>",
                          "</map></root>", "</preferences>"})
                  .first,
              L"(nothing thrown)");
    EXPECT_EQ(user->get(L"k&", L""), L"<>&\"' \u00e9\u20ac\U0001F600");
}

// Generated trees exported and imported into an empty tree come back equal.
using PreferencesXmlRoundTripTest = XmlPreferencesTest;

TEST_F(PreferencesXmlRoundTripTest, AGeneratedTreeComesBackEqual) {
    const std::vector<std::wstring> texts = {
        L"plain",           L"caf\u00e9 \u4e2d\u6587",     L"\U0001F600 above",
        L"q\" a& l< g> s'", L"line\r\nbreak\ttab\rcr\nlf", std::wstring(8192, L'\u00e9'),
        L" lead and trail "};
    unsigned counter = 0;
    for (const wchar_t* name : {L"n\u00e9", L"\U0001F600", L"a&b\"c<d>e'f"}) {
        const boost::shared_ptr<krel_std::Preferences> node = user->node(name);
        for (const std::wstring& text : texts) {
            node->put(L"k" + std::to_wstring(counter++) + text.substr(0, 20), text);
            node->node(L"child " + std::to_wstring(counter))->put(L"v", text);
        }
    }
    user->put(L"rootKey", L"\u00e9\U0001F600");
    const Snapshot before = snapshot(user);
    user->exportSubtree(path("tree.xml"));

    MemoryPreferencesFactory::registered().reset();
    krel_std::Preferences::importPreferences(path("tree.xml"));
    EXPECT_EQ(snapshot(krel_std::Preferences::userRoot()), before);
}

} // namespace
} // namespace krel_test
