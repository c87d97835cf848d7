// Another process writes the same file tree: its flushed values reach nodes here, and flushes
// of the two processes to one node keep each other's keys.
#include <set>
#include <sstream>

#include "fileprefs/FilePrefsTestSupport.h"

using krel_test::FilePreferencesTest;
using krel_test::runWriter;
using krel_test::startWriter;
using krel_test::waitForWriter;

namespace {

// The "key=value" lines of a stored file.
std::set<std::string> storedPairs(const std::string& bytes) {
    std::set<std::string> pairs;
    std::istringstream lines(bytes);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find('=') != std::string::npos) {
            pairs.insert(line);
        }
    }
    return pairs;
}

// The pairs that the writer's "--each <count> <prefix>" leaves out of the stored ones.
int missingPairs(const std::set<std::string>& stored, const std::string& prefix, int count) {
    int missing = 0;
    for (int i = 0; i < count; ++i) {
        missing += stored.count(prefix + std::to_string(i) + "=" + std::to_string(i)) == 0 ? 1 : 0;
    }
    return missing;
}

} // namespace

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

TEST_F(FilePreferencesTest, TwoProcessesFlushingOneNodeAfterEachPutKeepEveryUpdate) {
    const int trials = 3;
    const int flushesPerWriter = 60;
    const int storedKeys = 1000;
    const std::string count = std::to_string(flushesPerWriter);
    for (int trial = 0; trial < trials; ++trial) {
        const std::string trialNode = nodeName + "/trial" + std::to_string(trial);
        // Stored keys make each read and write of the file longer, as in a node in real use.
        const auto stored = node->node(L"trial" + std::to_wstring(trial));
        for (int key = 0; key < storedKeys; ++key) {
            stored->put(L"stored." + std::to_wstring(key), L"value");
        }
        stored->flush();
        const pid_t first = startWriter({"user", trialNode, "--each", count, "first."});
        const pid_t second = startWriter({"user", trialNode, "--each", count, "second."});
        ASSERT_EQ(0, waitForWriter(first));
        ASSERT_EQ(0, waitForWriter(second));
        const std::set<std::string> pairs =
            storedPairs(readFile(userDirectory("trial" + std::to_string(trial) + "/prefs.cfg")));
        EXPECT_EQ(0, missingPairs(pairs, "first.", flushesPerWriter)) << "trial " << trial;
        EXPECT_EQ(0, missingPairs(pairs, "second.", flushesPerWriter)) << "trial " << trial;
    }
}

TEST_F(FilePreferencesTest, FlushAfterAnotherProcessReplacedTheWrittenFileKeepsItsKeys) {
    node->put(L"mine", L"1");
    node->flush();
    ASSERT_EQ(0, runWriter({"user", nodeName, "theirs=2"}));
    node->put(L"mine", L"3");
    node->flush();
    EXPECT_EQ((std::set<std::string>{"mine=3", "theirs=2"}),
              storedPairs(readFile(userDirectory("prefs.cfg"))));
}
