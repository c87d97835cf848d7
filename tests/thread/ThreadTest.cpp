#include "thread/Thread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

#include "FunctionRunnable.h"
#include "SyncTestSupport.h"
#include "exception/KrelIllegalStateException.h"
#include "internal/ThreadIdMap.h"
#include "platform/WinSync.h"
#include "support/DebugOutputCapture.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"
#include "thread/Lock.h"

using krel_std::AutoLock;
using krel_std::Event;
using krel_std::KrelIllegalStateException;
using krel_std::Lock;
using krel_std::Runnable;
using krel_std::Thread;
using krel_std_internal::ThreadIdMap;
using sync_test::BRIEFLY;
using sync_test::eventually;
using sync_test::SOON;

namespace {

const long SOON_MS = static_cast<long>(SOON.count());

// A run that records the id of the thread it ran on and waits until the test opens the gate.
class ThreadTest : public ::testing::Test {
protected:
    boost::shared_ptr<Runnable> runnable(std::function<void()> work) {
        return sync_test::runnable(std::move(work));
    }

    boost::shared_ptr<Runnable> gatedRunnable() {
        return runnable([this] {
            runId = Thread::getCurrentThreadId();
            entered.signal();
            WaitForSingleObject(gate, INFINITE);
        });
    }

    // A thread running the gated run; the fixture opens the gate before the thread goes.
    Thread& gatedThread() {
        threads.emplace_back(new Thread(gatedRunnable(), L"worker"));
        return *threads.back();
    }

    void TearDown() override {
        SetEvent(gate);
        threads.clear();
        CloseHandle(gate);
    }

    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Event entered{false, false};
    std::atomic<uint64_t> runId{0};
    std::vector<std::unique_ptr<Thread>> threads;
};

TEST_F(ThreadTest, RunsTheRunnableOnANewThread) {
    Thread thread(runnable([this] { runId = Thread::getCurrentThreadId(); }), L"worker");
    thread.start();

    ASSERT_TRUE(thread.join(SOON_MS));
    EXPECT_NE(0u, runId.load());
    EXPECT_NE(Thread::getCurrentThreadId(), runId.load());
    EXPECT_EQ(Thread::ENDED, thread.getState());
}

TEST_F(ThreadTest, JoinAnswersAtOnceBeforeStartAndTimesOutWhileRunning) {
    Thread& thread = gatedThread();
    EXPECT_EQ(Thread::NOT_STARTED, thread.getState());
    EXPECT_TRUE(thread.join(0));

    thread.start();
    EXPECT_EQ(Thread::RUNNING, thread.getState());
    EXPECT_FALSE(thread.join(0));
    EXPECT_FALSE(thread.join(20));

    SetEvent(gate);
    EXPECT_TRUE(thread.join(SOON_MS));
    EXPECT_TRUE(thread.join(0));
}

TEST_F(ThreadTest, WaitForStartAnswersZeroOnceTheThreadRuns) {
    Thread& thread = gatedThread();
    EXPECT_EQ(-1, thread.waitForStart(0));

    thread.start();
    EXPECT_EQ(0, thread.waitForStart(SOON_MS));
}

TEST_F(ThreadTest, StartingARunningThreadIsRefused) {
    Thread& thread = gatedThread();
    thread.start();
    try {
        thread.start();
        FAIL() << "second start accepted";
    } catch (const KrelIllegalStateException& e) {
        EXPECT_EQ(L"The current thread is already running!", e.getMessage());
    }
}

TEST_F(ThreadTest, AnEndedThreadCanBeStartedAgain) {
    std::atomic<int> runs{0};
    Thread thread(runnable([&runs] { ++runs; }), L"again");
    thread.start();
    ASSERT_TRUE(thread.join(SOON_MS));
    thread.start();
    ASSERT_TRUE(thread.join(SOON_MS));
    EXPECT_EQ(2, runs.load());
}

TEST_F(ThreadTest, GetIdAnswersTheOperatingSystemIdOnlyWhileRunning) {
    Thread& thread = gatedThread();
    EXPECT_EQ(ThreadIdMap::NO_ID, thread.getId());

    thread.start();
    ASSERT_EQ(0, krel_std::Concurrency::waitForSingleObject(entered, SOON_MS));
    EXPECT_EQ(runId.load(), thread.getId());

    SetEvent(gate);
    ASSERT_TRUE(thread.join(SOON_MS));
    EXPECT_EQ(ThreadIdMap::NO_ID, thread.getId());
}

TEST_F(ThreadTest, PriorityIsNormalAfterStartAndKeepsWhatWasSet) {
    Thread& thread = gatedThread();
    EXPECT_THROW(thread.getPriority(), KrelIllegalStateException);

    thread.start();
    EXPECT_EQ(Thread::NORMAL, thread.getPriority());
    thread.setPriority(Thread::HIGHEST);
    EXPECT_EQ(Thread::HIGHEST, thread.getPriority());
    thread.setPriority(Thread::LOWEST);
    EXPECT_EQ(Thread::LOWEST, thread.getPriority());
}

TEST_F(ThreadTest, ANamedThreadRunsItsOwnRun) {
    class Counter : public Thread {
    public:
        Counter() : Thread(L"counter") {}
        void run() override { ++runs; }
        std::atomic<int> runs{0};
    } thread;

    thread.start();
    ASSERT_TRUE(thread.join(SOON_MS));
    EXPECT_EQ(1, thread.runs.load());
    EXPECT_EQ(L"Thread{name='counter'}", thread.toString());
    EXPECT_FALSE(thread.isJoinOnDestruct());
}

TEST_F(ThreadTest, AThreadWithARunnableWaitsForItsRunWhenDestroyed) {
    std::atomic<bool> runEnded{false};
    auto* thread = new Thread(runnable([this, &runEnded] {
                                  entered.signal();
                                  WaitForSingleObject(gate, INFINITE);
                                  runEnded = true;
                              }),
                              L"joiner");
    EXPECT_TRUE(thread->isJoinOnDestruct());
    thread->start();
    ASSERT_EQ(0, krel_std::Concurrency::waitForSingleObject(entered, SOON_MS));

    sync_test::Background<bool> destroy([thread, &runEnded] {
        delete thread;
        return runEnded.load();
    });
    EXPECT_FALSE(destroy.finishedWithin(BRIEFLY));
    SetEvent(gate);
    EXPECT_TRUE(destroy.get());
}

TEST_F(ThreadTest, AThreadDestroyedFromItsOwnRunDoesNotWaitForItself) {
    std::atomic<bool> destroyed{false};
    Thread* self = nullptr;
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    self = new Thread(runnable([&] {
                          WaitForSingleObject(go, INFINITE);
                          delete self;
                          destroyed = true;
                      }),
                      L"self");
    self->start();
    SetEvent(go);

    EXPECT_TRUE(eventually([&] { return destroyed.load(); }));
    CloseHandle(go);
}

TEST_F(ThreadTest, SleepWithANegativeTimeReturnsAtOnce) {
    auto before = std::chrono::steady_clock::now();
    Thread::sleep(-5);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
}

class FailingRunTest : public ThreadTest {
protected:
    // Runs work that throws on a thread named "failing" and answers the debugger output.
    std::wstring outputOfFailingRun(std::function<void()> work) {
        krel_test::DebugOutputCapture capture;
        Thread thread(runnable([this, work] {
                          runId = Thread::getCurrentThreadId();
                          work();
                      }),
                      L"failing");
        thread.start();
        EXPECT_TRUE(thread.join(SOON_MS));
        return capture.all();
    }

    std::wstring expectedLine(const std::wstring& reason) {
        return L"WARN : The thread [" + std::to_wstring(runId.load()) +
               L":failing] terminated unexpectedly. Reason: " + reason;
    }
};

TEST_F(FailingRunTest, ALibraryExceptionIsLoggedAsSTD3008WithItsMessage) {
    std::wstring output =
        outputOfFailingRun([] { throw KrelIllegalStateException(L"Worker lost its way."); });
    EXPECT_NE(std::wstring::npos, output.find(expectedLine(L"Worker lost its way.")));
}

TEST_F(FailingRunTest, AStandardExceptionIsLoggedWithItsText) {
    std::wstring output = outputOfFailingRun([] { throw std::runtime_error("disk gone"); });
    EXPECT_NE(std::wstring::npos,
              output.find(expectedLine(L"Caught std::exception of type disk gone")));
}

TEST_F(FailingRunTest, AnythingElseIsLoggedAsUnknown) {
    std::wstring output = outputOfFailingRun([] { throw 42; });
    EXPECT_NE(std::wstring::npos, output.find(expectedLine(L"Caught unknown exception.")));
}

TEST_F(ThreadTest, CancelReleasesJoinersAndTheRunUnwindsWhatItHolds) {
    Lock lock;
    std::atomic<pthread_t> handle{pthread_t()};
    Thread thread(runnable([&] {
                      AutoLock<Lock> held(lock);
                      handle = pthread_self();
                      entered.signal();
                      WaitForSingleObject(gate, INFINITE);
                  }),
                  L"cancelled");
    thread.start();
    ASSERT_EQ(0, krel_std::Concurrency::waitForSingleObject(entered, SOON_MS));
    EXPECT_NE(ThreadIdMap::NO_ID, ThreadIdMap::getInstance().get(handle));

    thread.cancel();
    EXPECT_TRUE(thread.join(0));
    EXPECT_EQ(Thread::ENDED, thread.getState());
    EXPECT_TRUE(eventually([&] { return lock.tryLock(); }));
    lock.unlock();
    EXPECT_TRUE(
        eventually([&] { return ThreadIdMap::getInstance().get(handle) == ThreadIdMap::NO_ID; }));
}

TEST_F(ThreadTest, CancellingAThreadThatIsNotRunningIsRefused) {
    Thread thread(L"idle");
    EXPECT_THROW(thread.cancel(), KrelIllegalStateException);
}

TEST_F(ThreadTest, TheIdMapServesOnlyThreadsStartedThroughThread) {
    EXPECT_EQ(ThreadIdMap::NO_ID, ThreadIdMap::getInstance().get(pthread_self()));
    EXPECT_EQ(Thread::getCurrentThreadId(), ThreadIdMap::getInstance().lookup(pthread_self()));
    EXPECT_EQ(ThreadIdMap::NO_ID, ThreadIdMap::getInstance().get(pthread_self()));
}

} // namespace
