#include "file/FileWatcher.h"

#include <atomic>
#include <boost/weak_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "exception/KrelIOException.h"
#include "file/File.h"
#include "file/IFileListener.h"
#include "platform/WinError.h"
#include "support/CallGate.h"
#include "support/CallLog.h"
#include "support/CancelledCall.h"
#include "support/TempDirectory.h"
#include "windows/FileWatcherImpl.h"

using krel_std::File;
using krel_std::IFileListener;

namespace {

// Long enough for any loaded machine; a passing test never waits for it.
const std::chrono::seconds GENEROUS(10);

// Records every call, and lets a test wait for a number of them.
class RecordingListener : public IFileListener {
public:
    void onFileDeleted(const File& file) override { record(L"deleted", file); }
    void onFileCreated(const File& file) override { record(L"created", file); }
    void onFileModeChange(const File& file) override { record(L"mode", file); }
    void onFileContentChange(const File& file) override { record(L"content", file); }

    bool waitForCalls(size_t count) { return log.waitFor(count); }

    std::vector<std::wstring> kinds() {
        std::vector<std::wstring> result;
        for (const auto& call : log.all()) {
            result.push_back(call.first);
        }
        return result;
    }

    std::wstring lastPath() {
        const auto calls = log.all();
        return calls.empty() ? std::wstring() : calls.back().second;
    }

protected:
    virtual void record(const wchar_t* kind, const File& file) {
        log.add(std::make_pair(std::wstring(kind), file.getPath()));
    }

private:
    krel_test::CallLog<std::pair<std::wstring, std::wstring>> log{GENEROUS};
};

// Throws from every call, after counting it.
class ThrowingListener : public IFileListener {
public:
    void onFileCreated(const File&) override {
        ++count;
        throw krel_std::KrelIOException(L"listener failed");
    }
    void onFileContentChange(const File&) override {
        ++count;
        throw std::runtime_error("listener failed");
    }
    std::atomic<int> count{0};
};

// Holds the watcher thread inside its first call until released.
class BlockingListener : public RecordingListener {
public:
    bool waitUntilEntered() { return gate.waitUntilEntered(); }
    void release() { gate.release(); }
    std::atomic<bool> finished{false};

protected:
    void record(const wchar_t* kind, const File& file) override {
        gate.enterAndWait();
        RecordingListener::record(kind, file);
        finished = true;
    }

private:
    krel_test::CallGate gate{GENEROUS};
};

// Waits inside its first call until the watcher thread is cancelled there.
class CancelledListener : public RecordingListener {
public:
    krel_test::CancelledCall call{GENEROUS};

protected:
    void record(const wchar_t*, const File&) override { call.enterAndAwaitCancellation(); }
};

// Whether the thread sleeps in the kernel (blocked on a lock or condition).
bool isBlocked(pid_t thread) {
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'S';
}

// A running watcher of its own for each test, stopped before the directory goes.
class FileWatcherTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        watcher.reset(new krel_std_internal::FileWatcherImpl);
        watcher->start();
    }

    void TearDown() override {
        watcher.reset();
        TempDirectoryTest::TearDown();
    }

    boost::shared_ptr<RecordingListener> watch(const std::string& name) {
        boost::shared_ptr<RecordingListener> listener(new RecordingListener);
        watcher->addListener(listener, File(path(name)));
        return listener;
    }

    // Returns once every change made in the file's directory before the call has been
    // reported: a new file is created there, and its report waits for all reports of the same
    // look. Its name sorts after the others, so it is reported last within one look.
    void settle(const std::string& directory = std::string()) {
        const std::string name =
            (directory.empty() ? "" : directory + "/") + "~sentinel" + std::to_string(++sentinels);
        boost::shared_ptr<RecordingListener> sentinel = watch(name);
        writeBytes(name, "");
        ASSERT_TRUE(sentinel->waitForCalls(1));
        watcher->removeListener(sentinel);
    }

    // Puts the whole file in place at once, so its creation is one change.
    void placeFile(const std::string& name, const std::string& bytes) {
        writeBytes(name + ".part", bytes);
        std::filesystem::rename(native(name + ".part"), native(name));
    }

    void setModificationTime(const std::string& name, const timespec& time) {
        const timespec times[2] = {{0, UTIME_OMIT}, time};
        ASSERT_EQ(utimensat(AT_FDCWD, native(name).c_str(), times, 0), 0);
    }

    timespec modificationTime(const std::string& name) {
        struct stat status;
        EXPECT_EQ(stat(native(name).c_str(), &status), 0);
        return status.st_mtim;
    }

    std::unique_ptr<krel_std_internal::FileWatcherImpl> watcher;
    int sentinels = 0;
};

typedef std::vector<std::wstring> Kinds;

} // namespace

TEST_F(FileWatcherTest, FileCreatedAfterAddingIsReportedOnce) {
    auto listener = watch("config.ini");
    placeFile("config.ini", "a=1");
    ASSERT_TRUE(listener->waitForCalls(1));
    settle();
    EXPECT_EQ(listener->kinds(), (Kinds{L"created"}));
    EXPECT_EQ(listener->lastPath(), path("config.ini"));
}

TEST_F(FileWatcherTest, DeletedFileIsReportedAndCreatedAgainWhenItReturns) {
    writeBytes("config.ini", "a=1");
    auto listener = watch("config.ini");
    std::filesystem::remove(native("config.ini"));
    ASSERT_TRUE(listener->waitForCalls(1));
    writeBytes("config.ini", "a=2");
    ASSERT_TRUE(listener->waitForCalls(2));
    const Kinds kinds = listener->kinds();
    EXPECT_EQ(Kinds(kinds.begin(), kinds.begin() + 2), (Kinds{L"deleted", L"created"}));
}

TEST_F(FileWatcherTest, AppendedContentIsReported) {
    writeBytes("config.ini", "a=1");
    auto listener = watch("config.ini");
    std::ofstream(native("config.ini"), std::ios::app) << "\nb=2";
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds().front(), L"content");
}

TEST_F(FileWatcherTest, SameSizeRewriteWithinOneSecondIsReported) {
    writeBytes("config.ini", "a=1");
    timespec before = modificationTime("config.ini");
    auto listener = watch("config.ini");
    before.tv_nsec = before.tv_nsec == 0 ? 1 : 0;
    {
        std::fstream out(native("config.ini"), std::ios::in | std::ios::out | std::ios::binary);
        out << "a=2";
    }
    setModificationTime("config.ini", before);
    settle();
    ASSERT_FALSE(listener->kinds().empty());
    EXPECT_EQ(listener->kinds().back(), L"content");
}

TEST_F(FileWatcherTest, SaveByRenameIsReportedWhenSizeAndTimeAgree) {
    writeBytes("config.ini", "a=1");
    const timespec before = modificationTime("config.ini");
    writeBytes("config.ini.tmp", "a=2");
    setModificationTime("config.ini.tmp", before);
    auto listener = watch("config.ini");
    std::filesystem::rename(native("config.ini.tmp"), native("config.ini"));
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds(), (Kinds{L"content"}));
}

TEST_F(FileWatcherTest, ModeChangeAloneIsReportedAsSuch) {
    writeBytes("config.ini", "a=1");
    auto listener = watch("config.ini");
    std::filesystem::permissions(native("config.ini"), std::filesystem::perms::owner_read);
    ASSERT_TRUE(listener->waitForCalls(1));
    settle();
    EXPECT_EQ(listener->kinds(), (Kinds{L"mode"}));
}

TEST_F(FileWatcherTest, ContentChangeIsReportedBeforeModeChange) {
    writeBytes("config.ini", "a=1");
    auto listener = watch("config.ini");
    writeBytes("config.ini.part", "a=22");
    std::filesystem::permissions(native("config.ini.part"), std::filesystem::perms::owner_read);
    std::filesystem::rename(native("config.ini.part"), native("config.ini"));
    ASSERT_TRUE(listener->waitForCalls(2));
    EXPECT_EQ(listener->kinds(), (Kinds{L"content", L"mode"}));
}

TEST_F(FileWatcherTest, AccessTimeAloneReportsNothing) {
    writeBytes("config.ini", "a=1");
    auto listener = watch("config.ini");
    const timespec times[2] = {{1000, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(utimensat(AT_FDCWD, native("config.ini").c_str(), times, 0), 0);
    settle();
    EXPECT_TRUE(listener->kinds().empty());
}

TEST_F(FileWatcherTest, TwoFilesOfOneDirectoryEachReachTheirOwnListener) {
    auto first = watch("a.ini");
    auto second = watch("b.ini");
    writeBytes("a.ini", "1");
    writeBytes("b.ini", "2");
    ASSERT_TRUE(first->waitForCalls(1));
    ASSERT_TRUE(second->waitForCalls(1));
    EXPECT_EQ(first->lastPath(), path("a.ini"));
    EXPECT_EQ(second->lastPath(), path("b.ini"));
}

TEST_F(FileWatcherTest, TwoSpellingsOfOnePathAreOneEntry) {
    std::filesystem::create_directory(native("dir"));
    boost::shared_ptr<RecordingListener> listener(new RecordingListener);
    watcher->addListener(listener, File(path("dir/./config.ini")));
    std::wstring backslashed = path("dir/../dir/config.ini");
    std::replace(backslashed.begin(), backslashed.end(), L'/', L'\\');
    watcher->addListener(listener, File(backslashed));
    placeFile("dir/config.ini", "a=1");
    ASSERT_TRUE(listener->waitForCalls(1));
    settle("dir");
    EXPECT_EQ(listener->kinds(), (Kinds{L"created"}));
}

TEST_F(FileWatcherTest, RelativePathIsResolvedWhenAdded) {
    std::filesystem::create_directory(native("first"));
    std::filesystem::create_directory(native("second"));
    const File original = File(L".").getCanonicalFile();
    boost::shared_ptr<RecordingListener> listener(new RecordingListener);
    File::setWorkingDirectory(File(path("first")));
    watcher->addListener(listener, File(L"config.ini"));
    File::setWorkingDirectory(File(path("second")));
    watcher->addListener(listener, File(L"other.ini"));
    File::setWorkingDirectory(original);
    placeFile("first/config.ini", "a=1");
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->lastPath(), L"config.ini");
    watcher->removeListener(listener, File(path("first/config.ini")));
    placeFile("second/other.ini", "b=1");
    ASSERT_TRUE(listener->waitForCalls(2));
    EXPECT_EQ(listener->lastPath(), L"other.ini");
}

TEST_F(FileWatcherTest, ThrowingListenerLeavesTheWatcherAndOthersServed) {
    boost::shared_ptr<ThrowingListener> thrower(new ThrowingListener);
    watcher->addListener(thrower, File(path("config.ini")));
    auto listener = watch("config.ini");
    writeBytes("config.ini", "a=1");
    ASSERT_TRUE(listener->waitForCalls(1));
    std::ofstream(native("config.ini"), std::ios::app) << "\nb=2";
    ASSERT_TRUE(listener->waitForCalls(2));
    EXPECT_GE(thrower->count.load(), 2) << "the throwing listener stays registered";
}

TEST_F(FileWatcherTest, CancellingTheWatcherThreadInsideAListenerEndsOnlyThatThread) {
    boost::shared_ptr<CancelledListener> listener(new CancelledListener);
    watcher->addListener(listener, File(path("config.ini")));
    writeBytes("config.ini", "a=1");
    ASSERT_TRUE(listener->call.waitUntilEntered());
    EXPECT_TRUE(listener->call.cancelAndWaitForEnd());
    watcher.reset();
}

TEST_F(FileWatcherTest, RemovalWaitsForTheCallInProgress) {
    boost::shared_ptr<BlockingListener> listener(new BlockingListener);
    watcher->addListener(listener, File(path("config.ini")));
    writeBytes("config.ini", "a=1");
    ASSERT_TRUE(listener->waitUntilEntered());
    std::atomic<pid_t> removerId{0};
    std::atomic<bool> removed{false};
    std::atomic<bool> finishedBeforeReturn{false};
    std::thread remover([&] {
        removerId = gettid();
        watcher->removeListener(listener);
        finishedBeforeReturn = listener->finished.load();
        removed = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + GENEROUS;
    while (!removed && (removerId == 0 || !isBlocked(removerId)) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(removed.load()) << "removal returned while the listener was being called";
    listener->release();
    remover.join();
    EXPECT_TRUE(finishedBeforeReturn.load());
}

TEST_F(FileWatcherTest, ListenerRemovedDuringAnotherCallIsNotCalledForThatChange) {
    boost::shared_ptr<BlockingListener> first(new BlockingListener);
    watcher->addListener(first, File(path("config.ini")));
    auto second = watch("config.ini");
    writeBytes("config.ini", "a=1");
    ASSERT_TRUE(first->waitUntilEntered());
    watcher->removeListener(second, File(path("config.ini")));
    first->release();
    std::ofstream(native("config.ini"), std::ios::app) << "\nb=2";
    ASSERT_TRUE(first->waitForCalls(2));
    EXPECT_TRUE(second->kinds().empty());
}

TEST_F(FileWatcherTest, ListenerMayRemoveItselfDuringItsCall) {
    class SelfRemovingListener : public RecordingListener {
    public:
        krel_std_internal::FileWatcherImpl* watcher = nullptr;
        boost::weak_ptr<IFileListener> self;

    protected:
        void record(const wchar_t* kind, const File& file) override {
            watcher->removeListener(self.lock());
            RecordingListener::record(kind, file);
        }
    };
    boost::shared_ptr<SelfRemovingListener> listener(new SelfRemovingListener);
    listener->watcher = watcher.get();
    listener->self = listener;
    watcher->addListener(listener, File(path("config.ini")));
    writeBytes("config.ini", "a=1");
    ASSERT_TRUE(listener->waitForCalls(1));
    std::filesystem::remove(native("config.ini"));
    settle();
    EXPECT_EQ(listener->kinds(), (Kinds{L"created"}));
}

TEST_F(FileWatcherTest, LostDirectoryIsWatchedAgain) {
    std::filesystem::create_directory(native("dir"));
    writeBytes("dir/config.ini", "a=1");
    auto listener = watch("dir/config.ini");
    std::filesystem::remove_all(native("dir"));
    ASSERT_TRUE(listener->waitForCalls(1));
    std::filesystem::create_directory(native("dir"));
    placeFile("dir/config.ini", "a=2");
    ASSERT_TRUE(listener->waitForCalls(2));
    std::ofstream(native("dir/config.ini"), std::ios::app) << "\nb=2";
    ASSERT_TRUE(listener->waitForCalls(3));
    EXPECT_EQ(listener->kinds(), (Kinds{L"deleted", L"created", L"content"}));
}

TEST_F(FileWatcherTest, UnwatchableDirectoryFailsOnEveryTry) {
    boost::shared_ptr<RecordingListener> listener(new RecordingListener);
    const File file(path("missing/config.ini"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            watcher->addListener(listener, file);
            ADD_FAILURE() << "no exception on attempt " << attempt;
        } catch (const krel_std::KrelIOException& e) {
            EXPECT_EQ(e.getMessage(), L"Could not monitor directory");
            EXPECT_EQ(e.getErrNum(), ERROR_FILE_NOT_FOUND);
        }
    }
    std::filesystem::create_directory(native("missing"));
    watcher->addListener(listener, file);
    writeBytes("missing/config.ini", "a=1");
    EXPECT_TRUE(listener->waitForCalls(1));
}

TEST_F(FileWatcherTest, NullListenerIsIgnored) {
    EXPECT_NO_THROW(
        watcher->addListener(boost::shared_ptr<IFileListener>(), File(path("missing/config.ini"))));
}

TEST_F(FileWatcherTest, ServiceForwardsToItsThread) {
    using krel_std::FileWatcher;
    boost::shared_ptr<RecordingListener> listener(new RecordingListener);
    boost::shared_ptr<RecordingListener> sentinel(new RecordingListener);
    FileWatcher::addListener(listener, File(path("config.ini")));
    FileWatcher::addListener(sentinel, File(path("~sentinel")));
    placeFile("config.ini", "a=1");
    ASSERT_TRUE(listener->waitForCalls(1));
    FileWatcher::removeListener(listener);
    std::filesystem::remove(native("config.ini"));
    writeBytes("~sentinel", "");
    ASSERT_TRUE(sentinel->waitForCalls(1));
    FileWatcher::removeListener(sentinel, File(path("~sentinel")));
    EXPECT_EQ(listener->kinds(), (Kinds{L"created"}));
}
