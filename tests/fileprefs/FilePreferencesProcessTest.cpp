// Another process writes the same file tree: its flushed values reach nodes here, and flushes
// of the two processes to one node keep each other's keys.
#include "fileprefs/FilePrefsTestSupport.h"

using krel_test::FilePreferencesTest;
using krel_test::runWriter;

TEST_F(FilePreferencesTest, ValueFlushedByAnotherProcessIsSeenByANodeMadeAfterwards) {
    ASSERT_EQ(0, runWriter({"user", nodeName + "/shared", "colour=blue"}));
    EXPECT_EQ(L"blue", node->node(L"shared")->get(L"colour", L""));
}

TEST_F(FilePreferencesTest, TwoProcessesFlushingDifferentKeysKeepBoth) {
    node->put(L"mine", L"1");
    ASSERT_EQ(0, runWriter({"user", nodeName, "theirs=2"}));
    node->flush();
    EXPECT_EQ(L"2", node->get(L"theirs", L""));
    const std::string stored = readFile(userDirectory("prefs.cfg"));
    EXPECT_NE(std::string::npos, stored.find("mine=1"));
    EXPECT_NE(std::string::npos, stored.find("theirs=2"));
}

TEST_F(FilePreferencesTest, WithoutThePrefsDirectoryTheUserTreeIsUnderHome) {
    const std::string home = root.string();
    ASSERT_EQ(0,
              runWriter({"user", "/from/home", "k=v"}, {{"KREL_PREFS_DIR", ""}, {"HOME", home}}));
    EXPECT_NE(std::string::npos, readFile(root / "from" / "home" / "prefs.cfg").find("k=v"));
}
