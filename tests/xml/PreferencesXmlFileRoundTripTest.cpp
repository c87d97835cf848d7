// XML export and import through the file back end: a generated tree of names the back end keeps
// as directory names and of windows-1252 keys and values, exported, removed and imported into
// the empty tree, comes back equal, also when read again from its files. An import is on disk
// when it returns, and one that fails part-way leaves on disk what it stored before the failure.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "exception/KrelBackingStoreException.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "fileprefs/FilePrefsTestSupport.h"
#include "platform/Utf16.h"
#include "prefs/FilePreferences.h"
#include "xml/XmlPreferencesFixture.h"

namespace krel_test {
namespace {

// Every character of windows-1252 from the blank on, but DEL and the five unassigned bytes:
// ASCII, the 27 characters of 0x80-0x9F, and Latin-1 from the no-break space on.
std::wstring windows1252Characters() {
    std::wstring text;
    for (wchar_t character = L' '; character < 0x7F; ++character) {
        text.push_back(character);
    }
    text += L"\u20ac\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\u017d"
            L"\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a\u0153\u017e"
            L"\u0178";
    for (wchar_t character = 0xA0; character <= 0xFF; ++character) {
        text.push_back(character);
    }
    return text;
}

// The file back end chosen as the configured factory, and a user node of the file tree named
// after the test, so that tests run side by side in several processes never share one, removed
// before and after each test.
class PreferencesXmlFileRoundTripTest : public XmlPreferencesTest {
protected:
    void SetUp() override {
        prefsDirectory();
        XmlPreferencesTest::SetUp();
        krel_std::KrelSystem::getInstance().setProperty(MemoryPreferencesSelection::variable(),
                                                        L"krel_std.FilePreferencesFactory");
        baseName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        basePath = krel_platform::utf8ToWide(baseName);
        removeBase();
        base = krel_std::Preferences::userRoot()->node(basePath);
    }

    void TearDown() override {
        removeBase();
        XmlPreferencesTest::TearDown();
    }

    void removeBase() const {
        const boost::shared_ptr<krel_std::Preferences> root =
            krel_std::FilePreferences::getUserRoot();
        // Removal deletes the node's directory at once. The root is not flushed: tests in
        // other processes save the root's file too, and two saves of one file at the same
        // moment refuse one of them with a sharing violation.
        if (root->nodeExists(basePath)) {
            root->node(basePath)->removeNode();
        }
    }

    // A tree below the base node: nested nodes whose names hold non-ASCII characters, one
    // above U+FFFF, the characters XML escapes that a directory name may hold, and the longest
    // name; keys and values of windows-1252 text, with the characters the file's lines escape
    // or could take for a section or comment, an inner TAB, a leading blank and the longest
    // value.
    void generateTree() {
        const std::wstring all = windows1252Characters();
        std::wstring longest;
        while (longest.size() < krel_std::Preferences::MAX_PREF_VALUE_LENGTH) {
            longest += all;
        }
        longest.resize(krel_std::Preferences::MAX_PREF_VALUE_LENGTH);
        const std::vector<std::wstring> values = {L"plain",
                                                  L"caf\u00e9 \u20ac\u2122 \u0152uvre \u0178",
                                                  L"q\" a& l< g> s'",
                                                  L"inner\ttab",
                                                  L" leading blank",
                                                  L"x=y=z",
                                                  L"#not a comment",
                                                  L"[not a section]",
                                                  L"back\\slash",
                                                  all,
                                                  longest};
        const std::vector<std::wstring> keys = {
            L"k",       L"caf\u00e9\u20ac", L"q\" a& l< g> s'", L"a=b",
            L"#hash",   L"[bracket",        L"back\\slash",     std::wstring(80, L'k'),
            L"in\ttab", L"\u00ff\u0178",    L"dot.key"};
        const std::vector<std::wstring> names = {
            L"n\u00e9",      L"\U0001F600 above",   L"a&b'c", L"\u4e2d\u6587", L"with blank",
            L"dots.in.name", std::wstring(80, L'n')};
        std::size_t counter = 0;
        boost::shared_ptr<krel_std::Preferences> parent = base;
        for (const std::wstring& name : names) {
            const boost::shared_ptr<krel_std::Preferences> node = parent->node(name);
            for (std::size_t i = 0; i < keys.size(); ++i) {
                node->put(keys[i], values[(i + counter) % values.size()]);
            }
            node->node(L"leaf " + std::to_wstring(counter))
                ->put(L"v", values[counter % values.size()]);
            parent = ++counter % 2 == 0 ? node : parent;
        }
        base->put(L"baseKey", L"\u00e9\u20ac");
        base->flush();
    }

    // Exports the base's subtree, removes the base and imports the document again.
    void exportRemoveAndImport() {
        base->exportSubtree(path("tree.xml"));
        removeBase();
        ASSERT_FALSE(krel_std::Preferences::userRoot()->nodeExists(basePath));
        krel_std::Preferences::importPreferences(path("tree.xml"));
    }

    // A document of the user tree whose lines are the elements below the base node's element.
    std::wstring baseDocument(std::initializer_list<std::string> elements) {
        std::string text =
            header() + "<root type=\"user\"><map/><node name=\"" + baseName + "\"><map/>";
        for (const std::string& element : elements) {
            text += element;
        }
        writeBytes("import.xml", text + "</node></root></preferences>");
        return path("import.xml");
    }

    // The "key=value" lines of the file of a node below the base, read from disk as another
    // process would find them.
    std::set<std::string> storedPairs(const std::string& below) const {
        std::ifstream in(prefsDirectory() / "user" / baseName / below / "prefs.cfg",
                         std::ios::binary);
        std::set<std::string> pairs;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            pairs.insert(line);
        }
        return pairs;
    }

    // The inode of the file of a node below the base: every save of a file makes a new one.
    ino_t inodeOf(const std::string& below) const {
        struct stat status {};
        const std::filesystem::path file =
            prefsDirectory() / "user" / baseName / below / "prefs.cfg";
        return stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
    }

    std::string baseName;
    std::wstring basePath;
    boost::shared_ptr<krel_std::Preferences> base;
};

// A node element with the entries, each "key=value".
std::string nodeElement(const std::string& name, std::initializer_list<std::string> entries,
                        const std::string& inner = std::string()) {
    std::string text = "<node name=\"" + name + "\"><map>";
    for (const std::string& entry : entries) {
        const std::size_t equals = entry.find('=');
        text += "<entry key=\"" + entry.substr(0, equals) + "\" value=\"" +
                entry.substr(equals + 1) + "\"/>";
    }
    return text + "</map>" + inner + "</node>";
}

typedef std::set<std::string> Pairs;

TEST_F(PreferencesXmlFileRoundTripTest, AGeneratedTreeComesBackEqual) {
    generateTree();
    const Snapshot before = snapshot(base);
    exportRemoveAndImport();
    EXPECT_EQ(snapshot(krel_std::Preferences::userRoot()->node(basePath)), before);
}

TEST_F(PreferencesXmlFileRoundTripTest, TheImportedTreeReadsBackEqualFromItsFiles) {
    generateTree();
    const Snapshot before = snapshot(base);
    exportRemoveAndImport();
    const boost::shared_ptr<krel_std::Preferences> imported =
        krel_std::Preferences::userRoot()->node(basePath);
    // A sync reads each node's file again; nothing is left unsaved to merge into it.
    imported->sync();
    EXPECT_EQ(snapshot(imported), before);
}

TEST_F(PreferencesXmlFileRoundTripTest, ImportedValuesAreStoredAsWindows1252Text) {
    base->node(L"n\u00e9")->put(L"caf\u00e9", L"\u20ac \u00ff\u0178 q\" a& l< g>");
    base->flush();
    exportRemoveAndImport();
    std::ifstream in(prefsDirectory() / "user" / baseName / "n\xC3\xA9" / "prefs.cfg",
                     std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "caf\xE9=\x80 \xFF\x9F q\" a& l< g>\r\n");
}

TEST_F(PreferencesXmlFileRoundTripTest, AnImportIsOnDiskWhenItReturns) {
    krel_std::Preferences::importPreferences(
        baseDocument({nodeElement("one", {"a=1", "b=2"}, nodeElement("inner", {"c=3"})),
                      nodeElement("two", {"d=4"})}));
    EXPECT_EQ(storedPairs("one"), (Pairs{"a=1", "b=2"}));
    EXPECT_EQ(storedPairs("one/inner"), (Pairs{"c=3"}));
    EXPECT_EQ(storedPairs("two"), (Pairs{"d=4"}));
}

// Each document stores entries into two nodes before it meets a node it cannot store.
TEST_F(PreferencesXmlFileRoundTripTest, AnImportFailingPartWayLeavesTheEarlierEntriesOnDisk) {
    const std::string tooLong(krel_std::Preferences::MAX_PREF_VALUE_LENGTH + 1, 'x');
    const std::vector<std::pair<std::string, std::string>> failures = {
        {"a value too long", nodeElement("third", {"bad=" + tooLong})},
        {"an entry without a value", "<node name=\"third\"><map><entry key=\"bad\"/></map></node>"},
        {"a node without a name", "<node name=\"\"><map/></node>"},
        {"a value outside windows-1252", nodeElement("third", {"bad=\xE4\xB8\x80"})}};
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.first);
        removeBase();
        const std::wstring document = baseDocument(
            {nodeElement("first", {"a=1", "b=2"}), nodeElement("second", {"c=3"}), failure.second});
        EXPECT_THROW(krel_std::Preferences::importPreferences(document),
                     krel_std::KrelInvalidPreferencesFormatException);
        EXPECT_EQ(storedPairs("first"), (Pairs{"a=1", "b=2"}));
        EXPECT_EQ(storedPairs("second"), (Pairs{"c=3"}));
    }
}

TEST_F(PreferencesXmlFileRoundTripTest, AnEntryOutsideTheFileCharsetIsRefusedNamingIt) {
    const std::wstring document =
        baseDocument({nodeElement("first", {"a=1"}),
                      nodeElement("second", {"b=2", "user=\xD0\x9F\xD1\x80\xD0\xB8"})});
    const auto failure = failureOf([&] { krel_std::Preferences::importPreferences(document); });
    EXPECT_EQ(failure.first, L"Input file <" + document +
                                 L"> has invalid XML format. Invalid attribute key <user> or "
                                 L"value <\u041f\u0440\u0438>.");
    EXPECT_EQ(failure.second, L"Value of key <user> contains character U+041F, which charset "
                              L"windows-1252 cannot hold.");
    EXPECT_EQ(storedPairs("first"), (Pairs{"a=1"}));
    EXPECT_EQ(storedPairs("second"), (Pairs{"b=2"}));
}

TEST_F(PreferencesXmlFileRoundTripTest, AnImportMeetingAnUnwritableNodeStillStoresTheOthers) {
    // A directory in the place of the node's file: no save can replace it, not even as root.
    base->node(L"blocked");
    std::filesystem::create_directory(prefsDirectory() / "user" / baseName / "blocked" /
                                      "prefs.cfg");
    const std::wstring document =
        baseDocument({nodeElement("first", {"a=1"}), nodeElement("blocked", {"b=2"}),
                      nodeElement("last", {"c=3"})});
    EXPECT_THROW(krel_std::Preferences::importPreferences(document),
                 krel_std::KrelBackingStoreException);
    EXPECT_EQ(storedPairs("first"), (Pairs{"a=1"}));
    EXPECT_EQ(storedPairs("last"), (Pairs{"c=3"}));
}

TEST_F(PreferencesXmlFileRoundTripTest, AnUnchangedReimportRewritesNoNodeFile) {
    const std::wstring document =
        baseDocument({nodeElement("one", {"a=1", "b=2"}, nodeElement("inner", {"c=3"})),
                      nodeElement("two", {"d=4"})});
    krel_std::Preferences::importPreferences(document);
    const std::vector<ino_t> before{inodeOf("one"), inodeOf("one/inner"), inodeOf("two")};
    krel_std::Preferences::importPreferences(document);
    EXPECT_EQ(before, (std::vector<ino_t>{inodeOf("one"), inodeOf("one/inner"), inodeOf("two")}));
}

TEST_F(PreferencesXmlFileRoundTripTest, AReimportChangingOneValueRewritesOnlyItsNode) {
    krel_std::Preferences::importPreferences(
        baseDocument({nodeElement("one", {"a=1"}), nodeElement("two", {"b=2"})}));
    const ino_t untouched = inodeOf("one");
    const ino_t changed = inodeOf("two");
    krel_std::Preferences::importPreferences(
        baseDocument({nodeElement("one", {"a=1"}), nodeElement("two", {"b=3"})}));
    EXPECT_EQ(untouched, inodeOf("one"));
    EXPECT_NE(changed, inodeOf("two"));
    EXPECT_EQ(storedPairs("two"), (Pairs{"b=3"}));
}

TEST_F(PreferencesXmlFileRoundTripTest, AnExportSeesAChildAddedByAnotherProcessBeforeIt) {
    base->node(L"mine")->put(L"k", L"v");
    base->flush();
    const std::filesystem::path directory = prefsDirectory() / "user" / baseName;
    // Listed long after its last change, as a tree in use is.
    std::filesystem::last_write_time(directory, std::filesystem::file_time_type::clock::now() -
                                                    std::chrono::hours(1));
    base->exportSubtree(path("before.xml"));
    ASSERT_EQ(0, runWriter({"user", baseName + "/theirs", "t=1"}));
    base->exportSubtree(path("after.xml"));
    EXPECT_EQ(std::string::npos, readBytes("before.xml").find("theirs"));
    EXPECT_NE(std::string::npos, readBytes("after.xml").find("<node name=\"theirs\">"));
}

} // namespace
} // namespace krel_test
