// The file tree's layout and storage: where nodes and files go, what a node answers before and
// after a flush, and how outside edits and removals meet the node's own changes.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

#include "exception/KrelBackingStoreException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "fileprefs/FilePrefsTestSupport.h"
#include "platform/FileReplacement.h"
#include "platform/WinError.h"
#include "support/OtherAccount.h"

using krel_std::FilePreferences;
using krel_test::FilePreferencesTest;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool hasCauseWithError(const krel_std::KrelException& error, int code) {
    for (const krel_std::KrelException* step = &error; step != nullptr;
         step = step->getNestedException()) {
        if (step->getErrNum() == code) {
            return true;
        }
    }
    return false;
}

// Flushes the node, waiting while another process holds its file: the system root is one file
// for every test of the program, and a test process reading it while this one saves makes the
// save fail with the sharing violation, its changes kept for the next flush.
template <typename Node> void flushWhenFree(const Node& node) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        try {
            node->flush();
            return;
        } catch (const krel_std::KrelBackingStoreException& error) {
            if (!hasCauseWithError(error, ERROR_SHARING_VIOLATION) ||
                std::chrono::steady_clock::now() > deadline) {
                throw;
            }
        }
        std::this_thread::yield();
    }
}

// The inode of the file: a save replaces the file by a new one made while the old one still
// exists, so one save changes it.
ino_t inodeOf(const std::filesystem::path& file) {
    struct stat status {};
    return stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Sets the directory's modification time an hour back, as if nothing had changed it lately.
void ageDirectory(const std::filesystem::path& directory) {
    std::filesystem::last_write_time(directory, std::filesystem::file_time_type::clock::now() -
                                                    std::chrono::hours(1));
}

} // namespace

TEST_F(FilePreferencesTest, UserNodeIsADirectoryWithItsFileUnderTheUserRoot) {
    const auto child = node->node(L"a/b");
    child->put(L"key", L"value");
    child->flush();
    EXPECT_TRUE(std::filesystem::is_directory(userDirectory("a/b")));
    EXPECT_TRUE(contains(readFile(userDirectory("a/b/prefs.cfg")), "key=value"));
}

TEST_F(FilePreferencesTest, BackslashInANameNestsDirectories) {
    node->node(L"x\\y/z")->flush();
    EXPECT_TRUE(std::filesystem::is_regular_file(userDirectory("x/y/z/prefs.cfg")));
}

TEST_F(FilePreferencesTest, SystemRootKeepsItsFileInTheSystemDirectory) {
    const auto root = FilePreferences::getSystemRoot();
    const std::wstring key(nodeName.begin(), nodeName.end());
    root->put(key, L"1");
    flushWhenFree(root);
    EXPECT_TRUE(contains(readFile(prefsDir / "system" / "prefs.cfg"), nodeName + "=1"));
    root->remove(key);
    flushWhenFree(root);
}

TEST_F(FilePreferencesTest, ListenerPathsNameTheTreeAndTheAbsolutePath) {
    const auto nested = FilePreferences::getUserRoot()->node(L"/a/b");
    EXPECT_EQ(L"USER_ROOT/a/b", nested->buildListenerPath());
    EXPECT_EQ(L"SYSTEM_ROOT/", FilePreferences::getSystemRoot()->buildListenerPath());
    FilePreferences::getUserRoot()->node(L"/a")->removeNode();
}

TEST_F(FilePreferencesTest, PutValueIsAnsweredBeforeAnyFlush) {
    node->put(L"key", L"value");
    EXPECT_EQ(L"value", node->get(L"key", L"default"));
    EXPECT_FALSE(std::filesystem::exists(userDirectory("prefs.cfg")));
}

TEST_F(FilePreferencesTest, ValueRemovedBeforeTheFirstFlushIsNotWritten) {
    node->put(L"gone", L"1");
    node->remove(L"gone");
    node->flush();
    EXPECT_FALSE(contains(readFile(userDirectory("prefs.cfg")), "gone"));
    EXPECT_EQ(L"default", node->get(L"gone", L"default"));
}

TEST_F(FilePreferencesTest, ExistingFileIsReadWhenTheNodeIsMade) {
    writeFile(userDirectory("stored/prefs.cfg"), "kept=yes\r\n");
    EXPECT_EQ(L"yes", node->node(L"stored")->get(L"kept", L"no"));
}

TEST_F(FilePreferencesTest, SyncTakesInAnOutsideEditAndKeepsTheUnsavedPut) {
    node->put(L"edited", L"old");
    node->flush();
    node->put(L"unsaved", L"mine");
    writeFile(userDirectory("prefs.cfg"), "edited=outside\r\n");
    node->sync();
    EXPECT_EQ(L"outside", node->get(L"edited", L""));
    EXPECT_EQ(L"mine", node->get(L"unsaved", L""));
    const std::string stored = readFile(userDirectory("prefs.cfg"));
    EXPECT_TRUE(contains(stored, "edited=outside"));
    EXPECT_TRUE(contains(stored, "unsaved=mine"));
}

TEST_F(FilePreferencesTest, FlushWritesTheNodesRemovalOverTheFile) {
    node->put(L"gone", L"1");
    node->put(L"stays", L"2");
    node->flush();
    node->remove(L"gone");
    node->flush();
    const std::string stored = readFile(userDirectory("prefs.cfg"));
    EXPECT_FALSE(contains(stored, "gone"));
    EXPECT_TRUE(contains(stored, "stays=2"));
}

TEST_F(FilePreferencesTest, FileDeletedOutsideLeavesOnlyTheNodesOwnChanges) {
    node->put(L"earlier", L"1");
    node->flush();
    std::filesystem::remove(userDirectory("prefs.cfg"));
    node->put(L"later", L"2");
    node->flush();
    EXPECT_EQ(L"default", node->get(L"earlier", L"default"));
    EXPECT_EQ("later=2\r\n", readFile(userDirectory("prefs.cfg")));
}

TEST_F(FilePreferencesTest, DirectoryRemovedOutsideIsMadeAgainByTheNextFlush) {
    std::filesystem::remove_all(userDirectory());
    node->put(L"back", L"1");
    node->flush();
    EXPECT_TRUE(contains(readFile(userDirectory("prefs.cfg")), "back=1"));
}

TEST_F(FilePreferencesTest, FlushWhileAnotherUpdaterHoldsTheFileFailsAndKeepsTheChange) {
    krel_platform::FileUpdateLock otherUpdater;
    ASSERT_TRUE(otherUpdater.acquire(krel_platform::utf8ToWide(userDirectory("prefs.cfg"))));
    node->put(L"kept", L"1");
    try {
        node->flush();
        ADD_FAILURE() << "flushed while another updater held the file";
    } catch (const krel_std::KrelBackingStoreException& error) {
        EXPECT_EQ(0u, error.getMessage().find(L"Unable to save Preferences information."));
        EXPECT_TRUE(hasCauseWithError(error, ERROR_SHARING_VIOLATION));
    }
    otherUpdater.release();
    node->flush();
    EXPECT_TRUE(contains(readFile(userDirectory("prefs.cfg")), "kept=1"));
}

// A node directory that every account may write (sticky, as /tmp), reachable by nobody, and a
// file outside the tree into which another account would like to turn the node's flushes.
class SharedNodeDirectoryTest : public FilePreferencesTest {
protected:
    void SetUp() override {
        FilePreferencesTest::SetUp();
        if (!krel_test::otherAccountUnavailable().empty()) {
            GTEST_SKIP() << krel_test::otherAccountUnavailable();
        }
        std::filesystem::create_directories(userDirectory());
        for (const std::filesystem::path& directory : {prefsDir, prefsDir / "user", root}) {
            ASSERT_EQ(0, chmod(directory.c_str(), 0755));
        }
        ASSERT_TRUE(krel_test::shareDirectory(userDirectory()));
        writeBytes("victim", "precious");
    }
};

TEST_F(SharedNodeDirectoryTest, FlushRefusesAFileLinkPlantedByAnotherAccount) {
    ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), userDirectory("prefs.cfg")));
    node->put(L"secret", L"1");
    try {
        node->flush();
        ADD_FAILURE() << "flushed through another account's link";
    } catch (const krel_std::KrelBackingStoreException& error) {
        EXPECT_TRUE(hasCauseWithError(error, ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ("precious", readBytes("victim"));
    EXPECT_TRUE(std::filesystem::is_symlink(userDirectory("prefs.cfg")));
}

TEST_F(SharedNodeDirectoryTest, AReaderOnlyAccountCannotHoldTheUpdateLockAgainstFlushes) {
    node->put(L"first", L"1");
    node->flush();
    const std::string side = userDirectory(".prefs.cfg.lock").string();
    EXPECT_EQ(0, krel_test::runAsNobody([&] {
                  const int opened = open(side.c_str(), O_RDONLY | O_CLOEXEC);
                  return opened < 0 && errno == EACCES ? 0 : 1;
              }));
    node->put(L"second", L"2");
    node->flush();
    EXPECT_TRUE(contains(readFile(userDirectory("prefs.cfg")), "second=2"));
}

TEST_F(FilePreferencesTest, ARefusedPutLeavesLaterFlushesWorking) {
    EXPECT_THROW(node->put(L"broken", L"line\r\nbreak"), krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(node->put(L" ", L"blank key"), krel_std::KrelIllegalArgumentException);
    node->put(L"kept", L"1");
    node->flush();
    EXPECT_EQ(L"default", node->get(L"broken", L"default"));
    const std::string stored = readFile(userDirectory("prefs.cfg"));
    EXPECT_TRUE(contains(stored, "kept=1"));
    EXPECT_FALSE(contains(stored, "broken"));
}

TEST_F(FilePreferencesTest, KeysLeaveOutEmptyValuesAndClearKeepsThem) {
    node->put(L"empty", L"");
    node->put(L"full", L"1");
    EXPECT_EQ(std::vector<std::wstring>{L"full"}, node->keys());
    node->clear();
    EXPECT_EQ(L"", node->get(L"empty", L"default"));
    EXPECT_EQ(L"default", node->get(L"full", L"default"));
}

TEST_F(FilePreferencesTest, HandMadeSubdirectoryIsAChild) {
    std::filesystem::create_directories(userDirectory("handmade"));
    const std::vector<std::wstring> names = node->childrenNames();
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), L"handmade"));
    EXPECT_TRUE(node->nodeExists(L"handmade"));
}

TEST_F(FilePreferencesTest, OnlyDirectoriesAndLinksToThemAreChildren) {
    std::filesystem::create_directories(userDirectory("made/inner"));
    std::filesystem::create_directories(userDirectory(".hidden"));
    writeFile(userDirectory("plain.txt"), "not a node");
    std::filesystem::create_directory_symlink(userDirectory("made/inner"), userDirectory("linked"));
    std::filesystem::create_symlink(userDirectory("missing"), userDirectory("dangling"));
    std::filesystem::create_directories(userDirectory("back\\slash"));
    node->put(L"k", L"v");
    node->flush();
    EXPECT_EQ((std::vector<std::wstring>{L".hidden", L"linked", L"made"}), node->childrenNames());
}

TEST_F(FilePreferencesTest, RemoveNodeDeletesTheTreeWithChildrenNeverMade) {
    const auto child = node->node(L"branch");
    writeFile(userDirectory("branch/never/made/prefs.cfg"), "k=v\r\n");
    child->removeNode();
    EXPECT_FALSE(std::filesystem::exists(userDirectory("branch")));
    EXPECT_TRUE(std::filesystem::is_directory(userDirectory()));
}

TEST_F(FilePreferencesTest, DotDotNamesAreRefusedAndTouchNothingOutside) {
    // A path without '/' is cut at each '\', so the pieces ".." and "." reach the node as names
    // of their own; followed by '/', "x\.." is one name.
    const std::vector<std::pair<std::wstring, std::wstring>> refused{
        {L"..", L".."}, {L"x\\../y", L"x\\.."}, {L".\\y/z", L".\\y"}};
    for (const auto& path : refused) {
        try {
            FilePreferences::getUserRoot()->node(path.first);
            ADD_FAILURE() << "accepted a relative directory name";
        } catch (const krel_std::KrelIllegalArgumentException& error) {
            EXPECT_EQ(L"Name <" + path.second + L"> is not a valid directory name.",
                      error.getMessage());
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(prefsDir / "system"));
    EXPECT_FALSE(std::filesystem::exists(prefsDir / "user" / "x"));
}

TEST_F(FilePreferencesTest, ValueOutsideTheFileCharsetIsRefusedNamingTheKeyAndTheCharacter) {
    try {
        node->put(L"user", L"\u041f\u0440\u0438\u0432\u0435\u0442");
        ADD_FAILURE() << "stored a value windows-1252 cannot hold";
    } catch (const krel_std::KrelIllegalArgumentException& error) {
        EXPECT_EQ(L"Value of key <user> contains character U+041F, which charset windows-1252 "
                  L"cannot hold.",
                  error.getMessage());
    }
    node->put(L"kept", L"1");
    node->flush();
    EXPECT_EQ(L"default", node->get(L"user", L"default"));
    EXPECT_EQ("kept=1\r\n", readFile(userDirectory("prefs.cfg")));
}

TEST_F(FilePreferencesTest, KeysDifferingOnlyOutsideTheFileCharsetAreBothRefused) {
    const std::vector<std::wstring> keys{std::wstring(L"Ka") + wchar_t(0xD800), L"Ka\U0001F600"};
    const std::vector<std::wstring> characters{L"U+D800", L"U+1F600"};
    for (std::size_t index = 0; index < keys.size(); ++index) {
        try {
            node->put(keys[index], L"value");
            ADD_FAILURE() << "stored a key windows-1252 cannot hold";
        } catch (const krel_std::KrelIllegalArgumentException& error) {
            EXPECT_EQ(0u, error.getMessage().find(L"Key <Ka"));
            EXPECT_NE(std::wstring::npos, error.getMessage().find(characters[index]));
        }
    }
    node->flush();
    EXPECT_TRUE(node->keys().empty());
    EXPECT_FALSE(contains(readFile(userDirectory("prefs.cfg")), "Ka"));
}

TEST_F(FilePreferencesTest, Windows1252CharactersBeyondAsciiAreStoredAsTheirBytes) {
    node->put(L"caf\u00e9", L"\u20ac \u0178\u00ff");
    node->flush();
    EXPECT_EQ("caf\xE9=\x80 \x9F\xFF\r\n", readFile(userDirectory("prefs.cfg")));
}

// Node names whose directory the file system cannot hold: each character above U+FFFF takes
// four bytes of the directory name, so 64 of them are one byte over the longest name.
class FilePreferencesLongNameTest : public FilePreferencesTest {
protected:
    static std::wstring wideName(std::size_t fourByteCharacters, const std::wstring& tail = L"") {
        return std::wstring(fourByteCharacters, L'\U0001F600') + tail;
    }

    static std::string directoryName(std::size_t fourByteCharacters, const std::string& tail = "") {
        std::string name;
        for (std::size_t i = 0; i < fourByteCharacters; ++i) {
            name += "\xF0\x9F\x98\x80";
        }
        return name + tail;
    }

    // Asks for the child and expects the refusal of an unstorable directory name.
    void expectRefused(const std::wstring& path, const std::wstring& refusedName) {
        try {
            node->node(path);
            ADD_FAILURE() << "accepted a name too long for a directory";
        } catch (const krel_std::KrelIllegalArgumentException& error) {
            EXPECT_EQ(L"Name <" + refusedName + L"> is not a valid directory name.",
                      error.getMessage());
        }
    }
};

TEST_F(FilePreferencesLongNameTest, NameTooLongForADirectoryIsRefusedAndNothingIsKept) {
    expectRefused(wideName(80), wideName(80));
    // Followed by '/', a name with '\' is one name that nests directories, each piece checked.
    expectRefused(L"ok\\" + wideName(64) + L"/x", L"ok\\" + wideName(64));
    EXPECT_TRUE(node->childrenNames().empty());
    EXPECT_FALSE(node->nodeExists(wideName(80)));
    EXPECT_TRUE(std::filesystem::is_empty(userDirectory()));
}

TEST_F(FilePreferencesLongNameTest, NameOfTheLongestDirectoryNameIsStored) {
    const auto child = node->node(wideName(63, L"abc"));
    child->put(L"k", L"v");
    child->flush();
    EXPECT_TRUE(contains(readFile(userDirectory(directoryName(63, "abc")) / "prefs.cfg"), "k=v"));
}

TEST_F(FilePreferencesLongNameTest, SiblingAfterARefusedNameIsStillSaved) {
    expectRefused(wideName(80), wideName(80));
    // This sibling sorts after the refused name, so it is flushed after it would have been.
    const auto sibling = node->node(L"\U0001F601");
    sibling->put(L"k", L"v");
    node->put(L"own", L"1");
    node->flush();
    EXPECT_TRUE(contains(readFile(userDirectory("\xF0\x9F\x98\x81") / "prefs.cfg"), "k=v"));
    EXPECT_TRUE(contains(readFile(userDirectory("prefs.cfg")), "own=1"));
}

TEST_F(FilePreferencesLongNameTest, ParentOfARefusedNameCanStillBeSyncedAndRemoved) {
    expectRefused(wideName(80), wideName(80));
    node->sync();
    node->removeNode();
    EXPECT_FALSE(std::filesystem::exists(userDirectory()));
}

TEST_F(FilePreferencesLongNameTest, NodeTooDeepToSaveIsRefusedAndTheNodesAboveItAreSaved) {
    // Each level adds 253 bytes, so well before 20 levels the path passes 4095 bytes.
    boost::shared_ptr<krel_std::Preferences> deepest = node;
    std::filesystem::path deepestDirectory = userDirectory();
    bool refused = false;
    for (int level = 0; level < 20 && !refused; ++level) {
        try {
            deepest = deepest->node(wideName(63));
            deepestDirectory /= directoryName(63);
        } catch (const krel_std::KrelIllegalArgumentException& error) {
            EXPECT_EQ(L"Path length exceeded maximum path length.", error.getMessage());
            refused = true;
        }
    }
    ASSERT_TRUE(refused);
    deepest->put(L"k", L"v");
    node->flush();
    EXPECT_TRUE(contains(readFile(deepestDirectory / "prefs.cfg"), "k=v"));
}

TEST_F(FilePreferencesTest, PutOfTheStoredValueLeavesTheFileUnwritten) {
    node->put(L"key", L"value");
    node->flush();
    const ino_t written = inodeOf(userDirectory("prefs.cfg"));
    node->put(L"key", L"value");
    node->flush();
    EXPECT_EQ(written, inodeOf(userDirectory("prefs.cfg")));
    // Checked after each step: a file replaced twice may get its first inode back.
    node->sync();
    EXPECT_EQ(written, inodeOf(userDirectory("prefs.cfg")));
}

TEST_F(FilePreferencesTest, ValueChangedAndChangedBackIsWritten) {
    node->put(L"key", L"first");
    node->flush();
    node->put(L"key", L"second");
    node->put(L"key", L"first");
    writeFile(userDirectory("prefs.cfg"), "key=outside\r\n");
    node->flush();
    EXPECT_EQ("key=first\r\n", readFile(userDirectory("prefs.cfg")));
}

TEST_F(FilePreferencesTest, EmptyValueOfAMissingKeyIsWritten) {
    node->put(L"full", L"1");
    node->flush();
    node->put(L"empty", L"");
    node->flush();
    EXPECT_TRUE(contains(readFile(userDirectory("prefs.cfg")), "empty=\r\n"));
}

TEST_F(FilePreferencesTest, FlushWithoutChangesTakesInAFileReplacedByAnotherProcess) {
    node->put(L"colour", L"red");
    node->flush();
    ASSERT_EQ(0, krel_test::runWriter({"user", nodeName, "colour=blue"}));
    node->flush();
    EXPECT_EQ(L"blue", node->get(L"colour", L""));
}

TEST_F(FilePreferencesTest, ChildMadeOutsideAfterASettledListingIsListed) {
    node->node(L"first");
    ageDirectory(userDirectory());
    ASSERT_EQ(std::vector<std::wstring>{L"first"}, node->childrenNames());
    ASSERT_EQ(std::vector<std::wstring>{L"first"}, node->childrenNames());
    std::filesystem::create_directory(userDirectory("second"));
    EXPECT_EQ((std::vector<std::wstring>{L"first", L"second"}), node->childrenNames());
}

TEST_F(FilePreferencesTest, ChildRemovedOutsideAfterASettledListingIsNotListed) {
    std::filesystem::create_directories(userDirectory("gone"));
    ageDirectory(userDirectory());
    ASSERT_EQ(std::vector<std::wstring>{L"gone"}, node->childrenNames());
    std::filesystem::remove(userDirectory("gone"));
    EXPECT_TRUE(node->childrenNames().empty());
}

TEST_F(FilePreferencesTest, LinkWhoseDirectoryWentAwayIsNoLongerListed) {
    std::filesystem::create_directories(root / "target");
    std::filesystem::create_directory_symlink(root / "target", userDirectory("linked"));
    ageDirectory(userDirectory());
    ASSERT_EQ(std::vector<std::wstring>{L"linked"}, node->childrenNames());
    std::filesystem::remove(root / "target");
    EXPECT_TRUE(node->childrenNames().empty());
}
