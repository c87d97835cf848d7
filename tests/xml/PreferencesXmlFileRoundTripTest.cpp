// XML export and import through the file back end: a generated tree of names the back end keeps
// as directory names and of windows-1252 keys and values, exported, removed and imported into
// the empty tree, comes back equal, also when read again from its files.
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

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

    std::string baseName;
    std::wstring basePath;
    boost::shared_ptr<krel_std::Preferences> base;
};

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

} // namespace
} // namespace krel_test
