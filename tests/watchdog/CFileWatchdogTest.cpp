#include "file/CFileWatchdog.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <thread>
#include <vector>

#include "platform/WinSync.h"
#include "support/TempDirectory.h"

using KrelStd::CFileWatchdog;
using KrelStd::CWatchdogEvent;
using KrelStd::CWatchdogFile;
using KrelStd::SWString;

namespace {

// Long enough for any loaded machine; a passing test never waits for it.
const std::chrono::seconds GENEROUS(20);

const unsigned long EVERY_EVENT = 0x1570018;

// Polls the condition, yielding, until it holds or the generous bound passes.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + GENEROUS;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// A watchdog on the test's temporary directory with every event selected.
class CFileWatchdogTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        ASSERT_EQ(watchdog.SetDirectory(SWString(path() + L"/")), 0);
        watchdog.SetFilter(EVERY_EVENT);
    }

    void watch(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            ASSERT_EQ(watchdog.AddFileToList(SWString(wide(name))), 0);
        }
        ASSERT_EQ(watchdog.StartWatching(), 0);
    }

    // The flags of the next count events, in queue order.
    std::vector<unsigned long> takeEvents(unsigned int count) {
        std::vector<unsigned long> flags;
        if (!eventually([&] { return watchdog.GetEventCount() >= count; })) {
            return flags;
        }
        CWatchdogEvent event;
        while (flags.size() < count && watchdog.GetFileEvent(event) == 0) {
            flags.push_back(event.GetFlags());
        }
        return flags;
    }

    // Moves the file's last write time an hour back, so any later write changes it.
    void age(const std::string& name) {
        const auto file = native(name);
        std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) -
                                                   std::chrono::hours(1));
    }

    CFileWatchdog watchdog;
};

TEST_F(CFileWatchdogTest, RefusesWhatItCannotWatch) {
    EXPECT_EQ(watchdog.StartWatching(), CFileWatchdog::WD_NO_FILES);
    EXPECT_EQ(watchdog.AddFileToList(SWString()), CFileWatchdog::WD_EMPTY_FILE_NAME);
    EXPECT_EQ(watchdog.SetDirectory(SWString(path("missing") + L"/")),
              CFileWatchdog::WD_INVALID_DIRECTORY);
    writeBytes("plain", "x");
    EXPECT_EQ(watchdog.SetDirectory(SWString(path("plain"))), CFileWatchdog::WD_INVALID_DIRECTORY);

    CFileWatchdog unset;
    EXPECT_EQ(unset.AddFileToList(SWString(L"a.txt")), CFileWatchdog::WD_NO_DIRECTORY);
    ASSERT_EQ(unset.SetDirectory(SWString(path() + L"/")), 0);
    ASSERT_EQ(unset.AddFileToList(SWString(L"a.txt")), 0);
    EXPECT_EQ(unset.StartWatching(), CFileWatchdog::WD_NO_FILTER);
}

TEST_F(CFileWatchdogTest, FilterGainsTheChangeNotificationBitsItsEventsNeed) {
    CFileWatchdog other;
    other.SetFilter(CFileWatchdog::WD_READONLY_CHANGED | CFileWatchdog::WD_FILE_DELETED);
    EXPECT_EQ(other.GetFilter(), 0x1040005ul);
}

TEST_F(CFileWatchdogTest, NameAlreadyListedIsAcceptedOnce) {
    ASSERT_EQ(watchdog.AddFileToList(SWString(L"a.txt")), 0);
    EXPECT_EQ(watchdog.AddFileToList(SWString(L"a.txt")), 0);
    std::vector<CWatchdogFile> files;
    watchdog.GetFileList(files);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].GetPath(), path() + L"/a.txt");
}

TEST_F(CFileWatchdogTest, CreationAndDeletionAreQueuedOnceEach) {
    watch({"a.txt"});
    writeBytes("a.txt", "abc");
    EXPECT_EQ(takeEvents(1), std::vector<unsigned long>{CFileWatchdog::WD_FILE_CREATED});
    std::filesystem::remove(native("a.txt"));
    EXPECT_EQ(takeEvents(1), std::vector<unsigned long>{CFileWatchdog::WD_FILE_DELETED});
    EXPECT_EQ(watchdog.GetEventCount(), 0u);
}

TEST_F(CFileWatchdogTest, WriteQueuesSizeThenLastWriteTime) {
    writeBytes("a.txt", "abc");
    age("a.txt");
    watch({"a.txt"});
    std::ofstream(native("a.txt"), std::ios::app) << "def";
    EXPECT_EQ(takeEvents(2), (std::vector<unsigned long>{CFileWatchdog::WD_SIZE_CHANGED,
                                                         CFileWatchdog::WD_LAST_WRITE_CHANGED}));
}

TEST_F(CFileWatchdogTest, NewFilterWhileWatchingSelectsTheEventsFromThenOn) {
    writeBytes("a.txt", "abc");
    age("a.txt");
    watch({"a.txt"});
    watchdog.SetFilter(CFileWatchdog::WD_SIZE_CHANGED);
    EXPECT_TRUE(watchdog.GetWatchingFlag());
    std::ofstream(native("a.txt"), std::ios::app) << "def";
    EXPECT_EQ(takeEvents(1), std::vector<unsigned long>{CFileWatchdog::WD_SIZE_CHANGED});
    CWatchdogEvent event;
    EXPECT_EQ(watchdog.GetFileEvent(event), CFileWatchdog::WD_NO_EVENT);
}

TEST_F(CFileWatchdogTest, ReadOnlyChangeIsQueued) {
    writeBytes("a.txt", "abc");
    watch({"a.txt"});
    std::filesystem::permissions(native("a.txt"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(takeEvents(1), std::vector<unsigned long>{CFileWatchdog::WD_READONLY_CHANGED});
}

TEST_F(CFileWatchdogTest, TakingTheLastEventResetsTheAvailableEvent) {
    CWatchdogEvent event;
    EXPECT_EQ(watchdog.GetFileEvent(event), CFileWatchdog::WD_NO_EVENT);
    watch({"a.txt"});
    writeBytes("a.txt", "abc");
    ASSERT_EQ(WaitForSingleObject(watchdog.GetEventsAvailableHandle(), 20000), WAIT_OBJECT_0);
    ASSERT_EQ(watchdog.GetFileEvent(event), 0);
    EXPECT_EQ(event.GetFileName(), L"a.txt");
    EXPECT_EQ(WaitForSingleObject(watchdog.GetEventsAvailableHandle(), 0), WAIT_TIMEOUT);
}

TEST_F(CFileWatchdogTest, FullListDropsEventsAndMarksThem) {
    const unsigned int count = CFileWatchdog::DEFAULT_MAX_LIST_SIZE + 5;
    std::vector<std::string> names;
    for (unsigned int i = 0; i < count; ++i) {
        names.push_back("f" + std::to_string(i));
    }
    watch(names);
    for (const std::string& name : names) {
        writeBytes(name, "x");
    }
    // Every change has been seen once each record shows its file as written, queued or
    // dropped; a record taken between the creation and the write would change once more.
    ASSERT_TRUE(eventually([&] {
        std::vector<CWatchdogFile> files;
        watchdog.GetFileList(files);
        return std::all_of(files.begin(), files.end(), [](const CWatchdogFile& file) {
            return file.Exists() && file.GetSize() == 1;
        });
    }));
    EXPECT_TRUE(watchdog.GetThrownAwayFlag());
    EXPECT_EQ(watchdog.GetEventCount(), CFileWatchdog::DEFAULT_MAX_LIST_SIZE);

    // Reading one event makes room for exactly one more.
    CWatchdogEvent event;
    ASSERT_EQ(watchdog.GetFileEvent(event), 0);
    watchdog.ResetThrownAwayFlag();
    std::filesystem::remove(native(names[0]));
    ASSERT_TRUE(eventually(
        [&] { return watchdog.GetEventCount() == CFileWatchdog::DEFAULT_MAX_LIST_SIZE; }));
    EXPECT_FALSE(watchdog.GetThrownAwayFlag());
    std::filesystem::remove(native(names[1]));
    EXPECT_TRUE(eventually([&] { return watchdog.GetThrownAwayFlag(); }));
}

TEST_F(CFileWatchdogTest, SmallerMaximumCutsTheListToItsOldest) {
    watch({"a.txt", "b.txt"});
    writeBytes("a.txt", "a");
    ASSERT_TRUE(eventually([&] { return watchdog.GetEventCount() == 1; }));
    writeBytes("b.txt", "b");
    ASSERT_TRUE(eventually([&] { return watchdog.GetEventCount() == 2; }));
    watchdog.SetMaxListSize(1);
    EXPECT_TRUE(watchdog.GetThrownAwayFlag());
    CWatchdogEvent event;
    ASSERT_EQ(watchdog.GetFileEvent(event), 0);
    EXPECT_EQ(event.GetFileName(), L"a.txt");
}

TEST_F(CFileWatchdogTest, StoppedWatchdogResumesOnTheSameThread) {
    watch({"a.txt"});
    ASSERT_EQ(watchdog.StopWatching(), 0);
    EXPECT_FALSE(watchdog.GetWatchingFlag());
    EXPECT_TRUE(watchdog.GetInitFlag());
    ASSERT_EQ(watchdog.StartWatching(), 0);
    writeBytes("a.txt", "abc");
    EXPECT_EQ(takeEvents(1), std::vector<unsigned long>{CFileWatchdog::WD_FILE_CREATED});
}

// Keeps the calling thread, and the threads it starts, on the processor it runs on, for one
// scope; a woken thread then runs in the caller's place instead of beside it.
class OneProcessor {
public:
    OneProcessor() {
        sched_getaffinity(0, sizeof(previous), &previous);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof(one), &one);
    }
    OneProcessor(const OneProcessor&) = delete;
    OneProcessor& operator=(const OneProcessor&) = delete;
    ~OneProcessor() { sched_setaffinity(0, sizeof(previous), &previous); }

private:
    cpu_set_t previous;
};

// A thread that has answered a stop waits for the next start; it never resumes on the start
// it was given before, which would show the stop a watching flag set again.
TEST_F(CFileWatchdogTest, EveryStopOfRepeatedCyclesIsAnsweredAsStopped) {
    OneProcessor oneProcessor;
    watch({"a.txt"});
    int stoppedCycles = 0;
    while (stoppedCycles < 200 && watchdog.StopWatching() == 0 && !watchdog.GetWatchingFlag() &&
           watchdog.StartWatching() == 0) {
        ++stoppedCycles;
    }
    EXPECT_EQ(stoppedCycles, 200);
}

TEST_F(CFileWatchdogTest, CopyTakesTheSettingsButNoEvents) {
    watch({"a.txt"});
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(eventually([&] { return watchdog.GetEventCount() == 1; }));
    watchdog.SetMaxListSize(7);
    CFileWatchdog other(watchdog);
    SWString directory;
    other.GetDirectory(directory);
    EXPECT_EQ(directory, path() + L"/");
    EXPECT_EQ(other.GetFilter(), watchdog.GetFilter());
    EXPECT_EQ(other.GetMaxListSize(), 7u);
    EXPECT_EQ(other.GetEventCount(), 0u);
    EXPECT_FALSE(other.GetWatchingFlag());
    std::vector<CWatchdogFile> files;
    other.GetFileList(files);
    EXPECT_EQ(files.size(), 1u);
}

// The working directory is changed for the test and restored afterwards.
TEST_F(CFileWatchdogTest, RecordWithoutDirectoryReadsALongWorkingDirectory) {
    const std::string deep =
        std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(120, 'f');
    std::filesystem::create_directories(native(deep));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(native(deep));
    const CWatchdogFile record(SWString(), SWString(L"name"));
    std::filesystem::current_path(previous);
    EXPECT_EQ(record.GetPath(), path(deep) + L"name");
    EXPECT_FALSE(record.Exists());
    EXPECT_FALSE(CWatchdogFile(SWString(path() + L"/"), SWString()).Exists());
}

} // namespace
