#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <typeinfo>
#include <vector>

#include "prefs/PreferencesXmlReader.h"
#include "xml/DomPreferencesXmlReader.h"
#include "xml/XmlPreferencesFixture.h"

namespace krel_test {
namespace {

// What one import did: how it failed, if it did, and what both trees and their stores hold.
struct Outcome {
    std::string failureType;
    std::pair<std::wstring, std::wstring> failure;
    Snapshot user;
    Snapshot system;
    std::map<std::wstring, MemoryStore::Values> userStored;
    std::map<std::wstring, MemoryStore::Values> systemStored;
    std::vector<std::wstring> userJournal;
    std::vector<std::wstring> systemJournal;

    bool operator==(const Outcome& other) const {
        return failureType == other.failureType && failure == other.failure && user == other.user &&
               system == other.system && userStored == other.userStored &&
               systemStored == other.systemStored && userJournal == other.userJournal &&
               systemJournal == other.systemJournal;
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
    out << outcome.failureType << " \""
        << krel_platform::wideToUtf8(outcome.failure.first + L" / " + outcome.failure.second)
        << "\", user nodes " << outcome.user.size() << ", system nodes " << outcome.system.size()
        << ", flushes " << outcome.userJournal.size() << "+" << outcome.systemJournal.size();
    return out;
}

class PreferencesXmlStreamingImportTest : public XmlPreferencesTest {
protected:
    // Imports the file into empty trees by the call and answers what it did.
    template <class Import> Outcome outcomeOf(Import import) {
        MemoryPreferencesFactory& factory = MemoryPreferencesFactory::registered();
        factory.reset();
        Outcome outcome;
        outcome.failure = failureOf([&] {
            try {
                import();
            } catch (const krel_std::KrelException& error) {
                outcome.failureType = typeid(error).name();
                throw;
            }
        });
        outcome.user = snapshot(krel_std::Preferences::userRoot());
        outcome.system = snapshot(krel_std::Preferences::systemRoot());
        outcome.userStored = storedOf(factory.getUserStore());
        outcome.systemStored = storedOf(factory.getSystemStore());
        outcome.userJournal = factory.getUserStore()->journalCopy();
        outcome.systemJournal = factory.getSystemStore()->journalCopy();
        return outcome;
    }

    static std::map<std::wstring, MemoryStore::Values>
    storedOf(const boost::shared_ptr<MemoryStore>& store) {
        std::lock_guard<std::mutex> guard(store->mutex);
        return store->nodes;
    }

    Outcome streamingOutcome(const std::wstring& file) {
        return outcomeOf([&file] { krel_std::Preferences::importPreferences(file); });
    }

    Outcome domOutcome(const std::wstring& file) {
        return outcomeOf([&file] { DomPreferencesXmlReader(file).importPreferences(); });
    }

    // A document of many nodes and entries whose last line is the given one.
    std::string largeDocumentEndingWith(const std::string& lastLine) {
        std::string text = header() + "<root type=\"user\"><map><entry key=\"top\" value=\"1\"/>"
                                      "</map>\r\n";
        for (int node = 0; node < 200; ++node) {
            text += "<node name=\"n" + std::to_string(node) + "\"><map>";
            for (int key = 0; key < 20; ++key) {
                text += "<entry key=\"k" + std::to_string(key) + "\" value=\"v\"/>";
            }
            text += "</map></node>\r\n";
        }
        return text + "</root>\r\n" + lastLine;
    }
};

std::vector<std::filesystem::path> corpusDocuments() {
    std::vector<std::filesystem::path> documents;
    for (const auto& item : std::filesystem::directory_iterator(KREL_XML_IMPORT_CORPUS)) {
        documents.push_back(item.path());
    }
    std::sort(documents.begin(), documents.end());
    return documents;
}

TEST_F(PreferencesXmlStreamingImportTest, EveryCorpusDocumentHasTheOutcomeOfTheDomImport) {
    const std::vector<std::filesystem::path> documents = corpusDocuments();
    ASSERT_GE(documents.size(), 20u);
    for (const std::filesystem::path& document : documents) {
        SCOPED_TRACE(document.filename().string());
        const std::wstring file = krel_platform::utf8ToWide(document.string());
        EXPECT_EQ(streamingOutcome(file), domOutcome(file));
    }
}

TEST_F(PreferencesXmlStreamingImportTest, TheCorpusHoldsBothStoredAndRefusedDocuments) {
    bool stored = false;
    bool refused = false;
    for (const std::filesystem::path& document : corpusDocuments()) {
        const Outcome outcome = streamingOutcome(krel_platform::utf8ToWide(document.string()));
        stored = stored || (outcome.failureType.empty() && outcome.user.size() > 1);
        refused = refused || !outcome.failureType.empty();
    }
    EXPECT_TRUE(stored);
    EXPECT_TRUE(refused);
}

TEST_F(PreferencesXmlStreamingImportTest, AnUnclosedElementInTheLastLineStoresNothing) {
    writeBytes("in.xml", largeDocumentEndingWith("</preferences><tail>"));
    const Outcome outcome = streamingOutcome(path("in.xml"));
    EXPECT_EQ(outcome.failure.first,
              L"Input file <" + path("in.xml") + L"> has invalid XML format.");
    EXPECT_EQ(outcome.failure.second.rfind(L"Unable to parse input: ", 0), 0u)
        << outcome.failure.second;
    EXPECT_EQ(outcome.user, (Snapshot{{L"/", {}}}));
    EXPECT_TRUE(outcome.userJournal.empty());
}

TEST_F(PreferencesXmlStreamingImportTest, AnUndefinedEntityInTheLastLineStoresNothing) {
    writeBytes("in.xml", largeDocumentEndingWith("&undefined;</preferences>"));
    const Outcome outcome = streamingOutcome(path("in.xml"));
    EXPECT_EQ(outcome.failure.second, L"Unable to parse input: entity 'undefined' not found");
    EXPECT_EQ(outcome.user, (Snapshot{{L"/", {}}}));
    EXPECT_TRUE(outcome.userJournal.empty());
}

TEST_F(PreferencesXmlStreamingImportTest, TheSameDocumentWithoutTheFaultStoresEveryEntry) {
    writeBytes("in.xml", largeDocumentEndingWith("</preferences>"));
    const Outcome outcome = streamingOutcome(path("in.xml"));
    EXPECT_TRUE(outcome.failureType.empty()) << outcome;
    EXPECT_EQ(outcome.user.size(), 201u);
    EXPECT_EQ(outcome.user.at(L"/n199").size(), 20u);
    EXPECT_EQ(outcome.user.at(L"/").at(L"top"), L"1");
}

TEST_F(PreferencesXmlStreamingImportTest, ANodeMapAfterItsChildNodesIsStoredBeforeThem) {
    writeBytes("in.xml", header() + document({"<root type=\"user\"><map/>",
                                              "<node name=\"a\"><node name=\"b\"><map>"
                                              "<entry key=\"k\"/></map></node>",
                                              "<map><entry key=\"first\" value=\"1\"/></map>"
                                              "</node></root>",
                                              "</preferences>"}));
    const Outcome outcome = streamingOutcome(path("in.xml"));
    EXPECT_EQ(outcome.failure.first, L"Input file <" + path("in.xml") +
                                         L"> has invalid XML format. Attribute <value> "
                                         L"not found.");
    EXPECT_EQ(outcome.user.at(L"/a").at(L"first"), L"1");
    EXPECT_EQ(outcome.userStored.at(L"/a").at(L"first"), L"1");
}

} // namespace
} // namespace krel_test
