#include "xml/XmlUtils.h"

#include <gtest/gtest.h>
#include <list>
#include <memory>
#include <string>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationLS.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/dom/DOMLSParser.hpp>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelXmlException.h"
#include "platform/Utf16.h"
#include "support/TempDirectory.h"

using krel_std::XmlUtils;
using xercesc::DOMNode;

namespace {

const wchar_t* const CONTEXT = L"XmlUtilsTest";

std::wstring nameOf(const DOMNode* node) {
    return krel_platform::utf16ToWide(std::u16string(node->getNodeName()));
}

std::wstring textOf(const DOMNode* node) {
    return krel_platform::utf16ToWide(std::u16string(node->getTextContent()));
}

class XmlUtilsTest : public ::testing::Test {
protected:
    xercesc::DOMElement* parse(const std::string& text) {
        return XmlUtils::getDocumentRoot(CONTEXT,
                                         XmlUtils::parseAndGetDocument(CONTEXT, parser, text));
    }

    // The message of the KrelXmlException the call throws.
    template <class Call> static std::wstring xmlError(Call call) {
        try {
            call();
        } catch (const krel_std::KrelXmlException& error) {
            return error.getMessage();
        }
        return L"(nothing thrown)";
    }

    xercesc::XercesDOMParser parser;
};

TEST_F(XmlUtilsTest, OneChildOfANameIsFoundAndZeroOrTwoAreRefusedWithTheirCount) {
    xercesc::DOMElement* root = parse("<node><map/><x/><x/></node>");
    EXPECT_EQ(nameOf(XmlUtils::getOneChildNodeByTagName(CONTEXT, root, L"map")), L"map");
    EXPECT_EQ(xmlError([&] { XmlUtils::getOneChildNodeByTagName(CONTEXT, root, L"entry"); }),
              L"0 child nodes with <entry> tag found when expecting one under <node> tag.");
    EXPECT_EQ(xmlError([&] { XmlUtils::getOneChildNodeByTagName(CONTEXT, root, L"x"); }),
              L"2 child nodes with <x> tag found when expecting one under <node> tag.");
}

TEST_F(XmlUtilsTest, TextAndCommentChildrenNeverMatchATagName) {
    xercesc::DOMElement* root = parse("<r>text<!--note--><e/></r>");
    const std::list<DOMNode*> children = XmlUtils::getChildNodesByTagName(CONTEXT, root, L"e");
    ASSERT_EQ(children.size(), 1u);
    EXPECT_TRUE(XmlUtils::getChildNodesByTagName(CONTEXT, root, L"text").empty());
    EXPECT_TRUE(XmlUtils::getChildNodesByTagName(CONTEXT, root, L"note").empty());
    EXPECT_EQ(XmlUtils::getChildNodesByTagName(CONTEXT, root, L"#comment").size(), 1u);
}

TEST_F(XmlUtilsTest, AnElementWithoutAttributesHasAnEmptyMapButNoAttributeValue) {
    xercesc::DOMElement* root = parse("<entry/>");
    EXPECT_TRUE(XmlUtils::getAttributes(CONTEXT, root).empty());
    EXPECT_EQ(xmlError([&] { XmlUtils::getAttributeValue(CONTEXT, root, L"key"); }),
              L"<entry> node has no attributes.");
}

TEST_F(XmlUtilsTest, AttributesAreReadByExactNameAndAMissingOneIsNamed) {
    xercesc::DOMElement* root = parse("<entry key=\"k\" Value=\"V\" value=\"v &amp; &#10;\"/>");
    EXPECT_EQ(XmlUtils::getAttributeValue(CONTEXT, root, L"value"), L"v & \n");
    EXPECT_EQ(XmlUtils::getAttributes(CONTEXT, root).size(), 3u);
    EXPECT_EQ(xmlError([&] { XmlUtils::getAttributeValue(CONTEXT, root, L"name"); }),
              L"Attribute <name> not found for node <entry>.");
}

TEST_F(XmlUtilsTest, AnAttributeFoundByExactNameIsItsValueAndAMissingOneIsNull) {
    xercesc::DOMElement* root = parse("<entry key=\"k\" Value=\"V\" value=\"v &amp; &#10;\"/>");
    EXPECT_EQ(std::u16string(XmlUtils::findAttributeValue(CONTEXT, root, L"value")), u"v & \n");
    EXPECT_EQ(XmlUtils::findAttributeValue(CONTEXT, root, L"name"), nullptr);
    EXPECT_EQ(XmlUtils::findAttributeValue(CONTEXT, parse("<entry/>"), L"key"), nullptr);
}

TEST_F(XmlUtilsTest, NodesThatAreNotElementsAreRefused) {
    xercesc::DOMElement* root = parse("<r>text</r>");
    EXPECT_EQ(xmlError([&] { XmlUtils::getAttributes(CONTEXT, root->getFirstChild()); }),
              L"<#text> node is invalid.");
    EXPECT_EQ(xmlError([&] { XmlUtils::findAttributeValue(CONTEXT, root->getFirstChild(), L"k"); }),
              L"<#text> node is invalid.");
}

TEST_F(XmlUtilsTest, DescendantsComeInPreOrderAndAncestorsAnswerTheSameList) {
    xercesc::DOMElement* root =
        parse("<r><x id=\"1\"><x id=\"2\"><y><x id=\"3\"/></y></x></x><x id=\"4\"/></r>");
    const std::list<DOMNode*> descendants =
        XmlUtils::getDescendantNodesByTagName(CONTEXT, root, L"x");
    std::wstring ids;
    for (DOMNode* node : descendants) {
        ids += XmlUtils::getAttributeValue(CONTEXT, node, L"id");
    }
    EXPECT_EQ(ids, L"1234");
    EXPECT_EQ(XmlUtils::getAncestorNodesByTagName(CONTEXT, root, L"x"), descendants);
    EXPECT_TRUE(XmlUtils::getDescendantNodesByTagName(CONTEXT, root, L"r").empty());
}

TEST_F(XmlUtilsTest, ANodeNameOtherThanTheExpectedOneIsRefused) {
    xercesc::DOMElement* root = parse("<prefs/>");
    EXPECT_NO_THROW(XmlUtils::throwIfNodeNameIsNotMatchFor(CONTEXT, root, L"prefs"));
    EXPECT_EQ(xmlError([&] { XmlUtils::throwIfNodeNameIsNotMatchFor(CONTEXT, root, L"Prefs"); }),
              L"<prefs> node does not match expected node <Prefs>.");
}

TEST_F(XmlUtilsTest, ALongNodeNameIsQuotedByAShortPrefix) {
    xercesc::DOMElement* root = parse("<" + std::string(100000, 'n') + "/>");
    EXPECT_EQ(xmlError([&] { XmlUtils::throwIfNodeNameIsNotMatchFor(CONTEXT, root, L"prefs"); }),
              L"<" + std::wstring(100, L'n') +
                  L"\u2026> node does not match expected node <prefs>.");
}

TEST_F(XmlUtilsTest, NullNodesAndDocumentsAreIllegalArguments) {
    EXPECT_THROW(XmlUtils::getChildNodesByTagName(CONTEXT, nullptr, L"x"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(XmlUtils::getDocumentRoot(CONTEXT, nullptr),
                 krel_std::KrelIllegalArgumentException);
}

TEST_F(XmlUtilsTest, MalformedTextIsRefusedWithTheParserMessage) {
    const std::wstring message = xmlError([&] { parse("<a><b></a>"); });
    EXPECT_EQ(message.rfind(L"Unable to parse input: ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::wstring(L"Unable to parse input: ").size());
}

TEST_F(XmlUtilsTest, NarrowAndWideFormsAgreeOnACharacterAboveTheBasicPlane) {
    const std::wstring wide = L"<r v=\"\U0001F600\u00e9\"/>";
    const std::string narrow = "<r v=\"\xF0\x9F\x98\x80\xC3\xA9\"/>";
    const std::wstring fromNarrow = XmlUtils::getAttributeValue(CONTEXT, parse(narrow), L"v");
    xercesc::XercesDOMParser wideParser;
    const std::wstring fromWide = XmlUtils::getAttributeValue(
        CONTEXT,
        XmlUtils::getDocumentRoot(CONTEXT,
                                  XmlUtils::parseAndGetDocument(CONTEXT, wideParser, wide)),
        L"v");
    EXPECT_EQ(fromNarrow, L"\U0001F600\u00e9");
    EXPECT_EQ(fromWide, fromNarrow);
    EXPECT_EQ(XmlUtils::transcodeString(L"\U0001F600"), "\xF0\x9F\x98\x80");
}

class XmlUtilsLsParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const XMLCh ls[] = {u'L', u'S', 0};
        auto* implementation = static_cast<xercesc::DOMImplementationLS*>(
            xercesc::DOMImplementationRegistry::getDOMImplementation(ls));
        parser =
            implementation->createLSParser(xercesc::DOMImplementationLS::MODE_SYNCHRONOUS, nullptr);
    }
    void TearDown() override { parser->release(); }

    xercesc::DOMLSParser* parser = nullptr;
};

TEST_F(XmlUtilsLsParserTest, ParsesWideTextIntoADocumentItOwns) {
    xercesc::DOMDocument* document =
        XmlUtils::parseAndGetDocument(CONTEXT, *parser, L"<r v=\"\U0001F600\"/>");
    EXPECT_EQ(
        XmlUtils::getAttributeValue(CONTEXT, XmlUtils::getDocumentRoot(CONTEXT, document), L"v"),
        L"\U0001F600");
}

TEST_F(XmlUtilsLsParserTest, MalformedTextIsRefusedWithTheParserMessage) {
    try {
        XmlUtils::parseAndGetDocument(CONTEXT, *parser, L"<a><b></a>");
        FAIL() << "nothing thrown";
    } catch (const krel_std::KrelXmlException& error) {
        EXPECT_EQ(error.getMessage().rfind(L"Unable to parse input: ", 0), 0u);
    }
}

// Hostile documents: nothing outside the text is read, and entity expansion is bounded.
class XmlUtilsHostileInputTest : public TempDirectoryTest {
protected:
    xercesc::XercesDOMParser parser;
};

TEST_F(XmlUtilsHostileInputTest, AnExternalEntityNamingALocalFileIsNotRead) {
    writeBytes("secret.txt", "TOP-SECRET");
    const std::string url = "file://" + native("secret.txt").string();
    const std::string text = "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + url + "\">]><r v=\"a\">&x;</r>";
    std::wstring content;
    try {
        content = textOf(XmlUtils::getDocumentRoot(
            CONTEXT, XmlUtils::parseAndGetDocument(CONTEXT, parser, text)));
    } catch (const krel_std::KrelXmlException&) {
        // Refusing the document reads nothing as well.
    }
    EXPECT_EQ(content.find(L"TOP-SECRET"), std::wstring::npos);
}

TEST_F(XmlUtilsHostileInputTest, NestedEntityExpansionIsRefused) {
    std::string text = "<!DOCTYPE r [<!ENTITY e0 \"xxxxxxxxxxxxxxxxxxxxxxxx\">";
    for (int level = 1; level < 12; ++level) {
        const std::string previous = "&e" + std::to_string(level - 1) + ";";
        std::string body;
        for (int copy = 0; copy < 10; ++copy) {
            body += previous;
        }
        text += "<!ENTITY e" + std::to_string(level) + " \"" + body + "\">";
    }
    text += "]><r>&e11;</r>";
    try {
        XmlUtils::parseAndGetDocument(CONTEXT, parser, text);
        FAIL() << "nothing thrown";
    } catch (const krel_std::KrelXmlException& error) {
        EXPECT_EQ(error.getMessage().rfind(L"Unable to parse input: ", 0), 0u);
    }
}

} // namespace
