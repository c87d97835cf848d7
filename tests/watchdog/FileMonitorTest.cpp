#include "file/FileMonitor.h"

#include <boost/make_shared.hpp>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "file/FileEventListener.h"
#include "support/CallGate.h"
#include "support/CallLog.h"
#include "support/TempDirectory.h"

using krel_std::File;
using krel_std::FileEventListener;
using krel_std::FileMonitor;

namespace {

// Long enough for any loaded machine; a passing test never waits for it.
const std::chrono::seconds GENEROUS(20);

struct Call {
    std::wstring kind;
    std::wstring directory;
    std::wstring fileName;
};

// Records every call and lets a test wait for a number of them.
class RecordingListener : public FileEventListener {
public:
    void onFileDeleted(const std::wstring& d, const std::wstring& f) override {
        record(L"deleted", d, f);
    }
    void onFileCreated(const std::wstring& d, const std::wstring& f) override {
        record(L"created", d, f);
    }
    void onFileAttributeChange(const std::wstring& d, const std::wstring& f) override {
        record(L"attribute", d, f);
    }
    void onFileSizeChange(const std::wstring& d, const std::wstring& f) override {
        record(L"size", d, f);
    }
    void onFileLastWriteTimeChange(const std::wstring& d, const std::wstring& f) override {
        record(L"time", d, f);
    }

    bool waitForCalls(size_t count) { return log.waitFor(count); }

    std::vector<std::wstring> kinds() {
        std::vector<std::wstring> result;
        for (const Call& call : log.all()) {
            result.push_back(call.kind);
        }
        return result;
    }

    Call last() { return log.all().back(); }

protected:
    virtual void record(const wchar_t* kind, const std::wstring& d, const std::wstring& f) {
        log.add(Call{kind, d, f});
    }

private:
    krel_test::CallLog<Call> log{GENEROUS};
};

// Throws from every call after recording it.
class ThrowingListener : public RecordingListener {
protected:
    void record(const wchar_t* kind, const std::wstring& d, const std::wstring& f) override {
        RecordingListener::record(kind, d, f);
        throw std::runtime_error("listener failed");
    }
};

// A monitor of the test's temporary directory with one recording listener.
class FileMonitorTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        monitor = std::make_unique<FileMonitor>(File(path()));
        listener = boost::make_shared<RecordingListener>();
        monitor->addListener(listener);
    }

    void TearDown() override {
        monitor.reset();
        TempDirectoryTest::TearDown();
    }

    void monitorFile(const std::string& name) {
        monitor->addFile(std::wstring(name.begin(), name.end()));
        monitor->startMonitoring();
    }

    std::unique_ptr<FileMonitor> monitor;
    boost::shared_ptr<RecordingListener> listener;
};

TEST_F(FileMonitorTest, CreatedFileReachesListenerWithDirectoryAndName) {
    monitorFile("a.txt");
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(listener->waitForCalls(1));
    const Call call = listener->last();
    EXPECT_EQ(call.kind, L"created");
    EXPECT_EQ(call.directory, monitor->getDirectory());
    EXPECT_EQ(call.directory, File(path()).getPath() + L"/");
    EXPECT_EQ(call.fileName, L"a.txt");
}

TEST_F(FileMonitorTest, DeletedFileReachesListener) {
    writeBytes("a.txt", "abc");
    monitorFile("a.txt");
    std::filesystem::remove(native("a.txt"));
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds(), std::vector<std::wstring>{L"deleted"});
}

TEST_F(FileMonitorTest, AttributeChangeReachesListener) {
    writeBytes("a.txt", "abc");
    monitorFile("a.txt");
    std::filesystem::permissions(native("a.txt"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds(), std::vector<std::wstring>{L"attribute"});
}

TEST_F(FileMonitorTest, GrowingWriteReportsSizeThenWriteTime) {
    writeBytes("a.txt", "abc");
    std::filesystem::last_write_time(
        native("a.txt"), std::filesystem::last_write_time(native("a.txt")) - std::chrono::hours(1));
    monitorFile("a.txt");
    std::ofstream(native("a.txt"), std::ios::app) << "def";
    ASSERT_TRUE(listener->waitForCalls(2));
    EXPECT_EQ(listener->kinds(), (std::vector<std::wstring>{L"size", L"time"}));
}

TEST_F(FileMonitorTest, WriteTimeAloneReportsWriteTime) {
    writeBytes("a.txt", "abc");
    monitorFile("a.txt");
    std::filesystem::last_write_time(
        native("a.txt"), std::filesystem::last_write_time(native("a.txt")) - std::chrono::hours(1));
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds(), std::vector<std::wstring>{L"time"});
}

TEST_F(FileMonitorTest, MonitorStartedBeforeItsFirstFileWatchesOnceOneIsAdded) {
    monitor->startMonitoring();
    monitor->addFile(L"a.txt");
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds(), std::vector<std::wstring>{L"created"});
}

TEST_F(FileMonitorTest, ListenerAddedTwiceIsCalledOncePerEvent) {
    monitor->addListener(listener);
    monitorFile("a.txt");
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(listener->waitForCalls(1));
    std::filesystem::remove(native("a.txt"));
    ASSERT_TRUE(listener->waitForCalls(2));
    EXPECT_EQ(listener->kinds(), (std::vector<std::wstring>{L"created", L"deleted"}));
}

TEST_F(FileMonitorTest, ThrowingListenerIsRemovedAndOthersGetEveryEvent) {
    auto throwing = boost::make_shared<ThrowingListener>();
    monitor->removeListener(listener);
    monitor->addListener(throwing);
    monitor->addListener(listener);
    monitorFile("a.txt");
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(listener->waitForCalls(1));
    std::filesystem::remove(native("a.txt"));
    ASSERT_TRUE(listener->waitForCalls(2));
    EXPECT_EQ(throwing->kinds(), std::vector<std::wstring>{L"created"});
}

TEST_F(FileMonitorTest, RefusesMissingDirectoriesAndBadNames) {
    try {
        monitor->setDirectory(File(path("missing")));
        FAIL() << "a missing directory was accepted";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Directory to monitor doesn't exist!");
    }
    EXPECT_THROW(monitor->addFile(L""), krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(monitor->addFile(L"sub/a.txt"), krel_std::KrelIllegalArgumentException);
    FileMonitor unset;
    EXPECT_THROW(unset.addFile(L"a.txt"), krel_std::KrelIllegalArgumentException);
    monitor->addFile(L"a.txt");
    EXPECT_NO_THROW(monitor->addFile(L"a.txt"));
}

TEST_F(FileMonitorTest, StartAndStopAreIdempotent) {
    monitor->stopMonitoring();
    monitorFile("a.txt");
    monitor->startMonitoring();
    monitor->stopMonitoring();
    monitor->stopMonitoring();
    monitor->startMonitoring();
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(listener->waitForCalls(1));
    EXPECT_EQ(listener->kinds(), std::vector<std::wstring>{L"created"});
}

// Holds the monitor's thread inside its first call until released.
class BlockingListener : public RecordingListener {
public:
    bool waitUntilEntered() { return gate.waitUntilEntered(); }
    void release() { gate.release(); }

protected:
    void record(const wchar_t* kind, const std::wstring& d, const std::wstring& f) override {
        gate.enterAndWait();
        RecordingListener::record(kind, d, f);
    }

private:
    krel_test::CallGate gate{GENEROUS};
};

TEST_F(FileMonitorTest, DestructionWaitsForTheCallInProgress) {
    auto blocking = boost::make_shared<BlockingListener>();
    monitor->addListener(blocking);
    monitorFile("a.txt");
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(blocking->waitUntilEntered());
    std::future<void> destroyed = std::async(std::launch::async, [&] { monitor.reset(); });
    // Far longer than the 150 ms that stopping waits: the destructor waits without a limit.
    EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(1)), std::future_status::timeout);
    blocking->release();
    destroyed.get();
    EXPECT_EQ(blocking->kinds(), std::vector<std::wstring>{L"created"});
}

// Destroys the monitor it listens to from inside its first call.
class DestroyingListener : public RecordingListener {
public:
    explicit DestroyingListener(std::unique_ptr<FileMonitor>& monitor) : monitor(monitor) {}

protected:
    void record(const wchar_t* kind, const std::wstring& d, const std::wstring& f) override {
        monitor.reset();
        RecordingListener::record(kind, d, f);
    }

private:
    std::unique_ptr<FileMonitor>& monitor;
};

TEST_F(FileMonitorTest, ListenerMayDestroyItsMonitor) {
    std::unique_ptr<FileMonitor> own = std::make_unique<FileMonitor>(File(path()));
    auto destroying = boost::make_shared<DestroyingListener>(own);
    own->addListener(destroying);
    own->addFile(L"a.txt");
    own->startMonitoring();
    writeBytes("a.txt", "abc");
    ASSERT_TRUE(destroying->waitForCalls(1));
    EXPECT_EQ(own, nullptr);
}

} // namespace
