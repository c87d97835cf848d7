#include <atomic>
#include <chrono>
#include <gtest/gtest.h>

#include "SyncTestSupport.h"
#include "exception/KrelIllegalArgumentException.h"
#include "thread/AbstractNotificationThread.h"
#include "thread/Concurrency.h"
#include "thread/DefaultThreadFactory.h"
#include "thread/Event.h"
#include "thread/Executors.h"

using krel_std::AbstractNotificationThread;
using krel_std::Concurrency;
using krel_std::DefaultThreadFactory;
using krel_std::Event;
using krel_std::Executors;
using krel_std::KrelIllegalArgumentException;
using krel_std::Runnable;
using krel_std::Thread;

namespace {

const long SOON_MS = static_cast<long>(sync_test::SOON.count());

// Counts its rounds and tells each one through an event; sleeps until woken between rounds.
class RoundsThread : public AbstractNotificationThread {
public:
    RoundsThread() : AbstractNotificationThread(L"rounds") {}
    ~RoundsThread() override {
        shutdown();
        join(-1);
    }

    void run() override {
        while (!isShutdown()) {
            ++rounds;
            roundDone.signal();
            sleepForPeriod(-1);
        }
    }

    using AbstractNotificationThread::sleepForPeriod;

    std::atomic<int> rounds{0};
    Event roundDone{true, false};
};

TEST(NotificationThreadTest, LoopsIsWokenAndStops) {
    RoundsThread thread;
    thread.start();
    ASSERT_EQ(0, Concurrency::waitForSingleObject(thread.roundDone, SOON_MS));
    EXPECT_EQ(1, thread.rounds.load());

    thread.wakeup();
    ASSERT_EQ(0, Concurrency::waitForSingleObject(thread.roundDone, SOON_MS));
    EXPECT_EQ(2, thread.rounds.load());

    thread.shutdown();
    EXPECT_TRUE(thread.join(SOON_MS));
    EXPECT_EQ(2, thread.rounds.load());
}

TEST(NotificationThreadTest, AWakeupBeforeTheSleepEndsItAtOnce) {
    RoundsThread thread;
    thread.wakeup();
    EXPECT_EQ(0, thread.sleepForPeriod(SOON_MS));
}

TEST(NotificationThreadTest, ASleepWithoutWakeupLastsItsPeriod) {
    RoundsThread thread;
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, thread.sleepForPeriod(50));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
}

TEST(NotificationThreadTest, ShutdownHoldsUntilTheNextStart) {
    RoundsThread thread;
    EXPECT_EQ(L"AbstractNotificationThread{Thread{name='rounds'},isShutdownFlag=false}",
              thread.toString());
    thread.shutdown();
    EXPECT_TRUE(thread.isShutdown());
    EXPECT_EQ(L"AbstractNotificationThread{Thread{name='rounds'},isShutdownFlag=true}",
              thread.toString());

    thread.start();
    EXPECT_FALSE(thread.isShutdown());
}

class CountingRunnable : public Runnable {
public:
    void run() override { ++runs; }
    std::atomic<int> runs{0};
};

TEST(ThreadFactoryTest, AFactoryWithAPrefixNumbersItsThreads) {
    DefaultThreadFactory factory(L"worker");
    boost::shared_ptr<CountingRunnable> task(new CountingRunnable);
    boost::shared_ptr<Thread> first = factory.newThread(task);
    boost::shared_ptr<Thread> second = factory.newThread(task);

    EXPECT_EQ(L"worker-thread-0", first->getName());
    EXPECT_EQ(L"worker-thread-1", second->getName());
    EXPECT_TRUE(first->isJoinOnDestruct());
    EXPECT_EQ(L"DefaultThreadFactory{namePrefix='worker-thread-'}", factory.toString());

    first->start();
    ASSERT_TRUE(first->join(SOON_MS));
    EXPECT_EQ(1, task->runs.load());
}

TEST(ThreadFactoryTest, AFactoryRefusesAnEmptyRunnable) {
    DefaultThreadFactory factory(L"worker");
    try {
        factory.newThread(boost::shared_ptr<Runnable>());
        FAIL() << "empty runnable accepted";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Runnable value is NULL.", e.getMessage());
    }
}

TEST(ExecutorsTest, ACallableRunsItsTaskOnceAndAnswersNull) {
    boost::shared_ptr<CountingRunnable> task(new CountingRunnable);
    boost::shared_ptr<krel_std::Callable<void*>> callable = Executors::callable(task);

    EXPECT_EQ(nullptr, callable->call());
    EXPECT_EQ(1, task->runs.load());
    EXPECT_EQ(L"Callable{}", callable->toString());
}

TEST(ExecutorsTest, ACallableNeedsATask) {
    try {
        Executors::callable(boost::shared_ptr<Runnable>());
        FAIL() << "empty task accepted";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Task value is NULL.", e.getMessage());
    }
}

} // namespace
