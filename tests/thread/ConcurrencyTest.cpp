#include "thread/Concurrency.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <pthread.h>
#include <sched.h>

#include "SyncTestSupport.h"
#include "exception/KrelWaitObjectDestroyedException.h"
#include "thread/Event.h"
#include "thread/Subscription.h"
#include "thread/SubscriptionCondition.h"

using namespace krel_std;
using sync_test::Background;
using sync_test::cancelInsideWait;
using sync_test::eventually;

namespace {

long elapsedMs(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

int waitAny(Waitable& a, Waitable& b, long ms) {
    return Concurrency::waitForMultipleObjects({&a, &b}, Concurrency::WAIT_FOR_ANY, ms);
}

int waitAll(Waitable& a, Waitable& b, long ms) {
    return Concurrency::waitForMultipleObjects({&a, &b}, Concurrency::WAIT_FOR_ALL, ms);
}

class SubscriptionTest : public ::testing::Test {
protected:
    boost::shared_ptr<SubscriptionCondition> condition{new SubscriptionCondition};
};

TEST_F(SubscriptionTest, SignalledAutoResetObjectIsConsumedBySubscribing) {
    Event event(true, true);
    Subscription first(condition, event);
    EXPECT_EQ(Subscription::SIGNALED, first.getState());
    EXPECT_FALSE(event.isSignaled());
    Subscription second(condition, event);
    EXPECT_EQ(Subscription::NOT_SIGNALED, second.getState());
    EXPECT_EQ(L"Subscription{state=0}", second.toString());
}

TEST_F(SubscriptionTest, SignalledManualResetObjectStaysSignalled) {
    Event event(false, true);
    Subscription subscription(condition, event);
    EXPECT_EQ(Subscription::SIGNALED, subscription.getState());
    EXPECT_TRUE(event.isSignaled());
}

TEST_F(SubscriptionTest, AutoResetSignalGoesToTheEarliestSubscriber) {
    Event event;
    Subscription first(condition, event);
    Subscription second(condition, event);
    event.signal();
    EXPECT_EQ(Subscription::SIGNALED, first.getState());
    EXPECT_EQ(Subscription::NOT_SIGNALED, second.getState());
    event.signal();
    EXPECT_EQ(Subscription::SIGNALED, second.getState());
    EXPECT_FALSE(event.isSignaled());
}

TEST_F(SubscriptionTest, ManualResetSignalMarksEverySubscriber) {
    Event event(false, false);
    Subscription first(condition, event);
    Subscription second(condition, event);
    event.signal();
    EXPECT_EQ(Subscription::SIGNALED, first.getState());
    EXPECT_EQ(Subscription::SIGNALED, second.getState());
}

// Handing back signals that a wait did not report is the business of the waits, which know
// what they report; a subscription on its own keeps what it consumed.
TEST_F(SubscriptionTest, DestroyedSubscriptionKeepsTheSignalItConsumed) {
    Event event(true, true);
    { Subscription unreported(condition, event); }
    EXPECT_FALSE(event.isSignaled());
    {
        Subscription reported(condition, event);
        reported.keepSignal();
    }
    EXPECT_FALSE(event.isSignaled());
}

TEST_F(SubscriptionTest, TwoAutoResetSignalsMarkTwoOfFourSubscriptions) {
    Event event;
    std::unique_ptr<Subscription> first(new Subscription(condition, event));
    std::unique_ptr<Subscription> second(new Subscription(condition, event));
    Subscription third(condition, event);
    Subscription fourth(condition, event);
    event.signal();
    event.signal();
    first.reset();
    second.reset();
    EXPECT_EQ(Subscription::NOT_SIGNALED, third.getState());
    EXPECT_EQ(Subscription::NOT_SIGNALED, fourth.getState());
    EXPECT_FALSE(event.isSignaled());
}

TEST_F(SubscriptionTest, DestroyedObjectMarksSubscribersAndMayBeOutlived) {
    std::unique_ptr<Event> event(new Event);
    std::unique_ptr<Subscription> first(new Subscription(condition, *event));
    Subscription second(condition, *event);
    event.reset();
    EXPECT_EQ(Subscription::DESTROYED, first->getState());
    EXPECT_EQ(Subscription::DESTROYED, second.getState());
    first.reset();
}

TEST(EventTest, DefaultIsAutoResetAndNotSignalled) {
    EXPECT_EQ(L"Event{autoReset=1,signaled=0}", Event().toString());
    EXPECT_EQ(L"Event{autoReset=0,signaled=1}", Event(false, true).toString());
}

TEST(EventTest, ResetClearsTheSignal) {
    Event event(false, true);
    event.reset();
    EXPECT_EQ(-1, Concurrency::waitForSingleObject(event, 0));
}

TEST(EventTest, AutoResetEventReleasesOneWaiterPerSignal) {
    Event event;
    std::atomic<int> released(0);
    auto wait = [&] {
        int result = Concurrency::waitForSingleObject(event, 10000);
        ++released;
        return result;
    };
    Background<int> first(wait);
    Background<int> second(wait);
    event.signal();
    ASSERT_TRUE(eventually([&] { return released.load() >= 1; }));
    bool both =
        first.finishedWithin(sync_test::BRIEFLY) && second.finishedWithin(sync_test::BRIEFLY);
    EXPECT_FALSE(both);
    EXPECT_EQ(1, released.load());
    event.signal();
    EXPECT_EQ(0, first.get());
    EXPECT_EQ(0, second.get());
}

TEST(EventTest, ManualResetEventReleasesEveryWaiterAndStaysSignalled) {
    Event event(false, false);
    auto wait = [&] { return Concurrency::waitForSingleObject(event, 10000); };
    Background<int> first(wait);
    Background<int> second(wait);
    event.signal();
    EXPECT_EQ(0, first.get());
    EXPECT_EQ(0, second.get());
    EXPECT_TRUE(event.isSignaled());
}

TEST(ConcurrencyTest, ZeroTimeoutOnUnsignalledEventAnswersAtOnce) {
    Event event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, Concurrency::waitForSingleObject(event, 0));
    EXPECT_LT(elapsedMs(start), 1000);
}

TEST(ConcurrencyTest, WaitConsumesAnAutoResetSignal) {
    Event event(true, true);
    EXPECT_EQ(0, Concurrency::waitForSingleObject(event, 0));
    EXPECT_FALSE(event.isSignaled());
}

TEST(ConcurrencyTest, WaitLeavesAManualResetEventSignalled) {
    Event event(false, true);
    EXPECT_EQ(0, Concurrency::waitForSingleObject(event, 0));
    EXPECT_TRUE(event.isSignaled());
}

TEST(ConcurrencyTest, WaitForAnyAnswersTheLowestSignalledIndexAndKeepsTheOtherSignals) {
    Event first(true, true);
    Event second(true, true);
    EXPECT_EQ(0, waitAny(first, second, 0));
    EXPECT_FALSE(first.isSignaled());
    EXPECT_TRUE(second.isSignaled());
    EXPECT_EQ(1, waitAny(first, second, 0));
    EXPECT_FALSE(second.isSignaled());
}

TEST(ConcurrencyTest, WaitForAnyTimesOut) {
    Event first;
    Event second;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, waitAny(first, second, 100));
    long elapsed = elapsedMs(start);
    EXPECT_GE(elapsed, 95);
    EXPECT_LT(elapsed, 5000);
}

TEST(ConcurrencyTest, WaitForAnyAnswersTheIndexSignalledByAnotherThread) {
    Event first;
    Event second;
    Background<int> waiter([&] { return waitAny(first, second, 10000); });
    second.signal();
    EXPECT_EQ(1, waiter.get());
    EXPECT_FALSE(second.isSignaled());
}

TEST(ConcurrencyTest, WaitForAllEndsOnlyWhenEveryObjectIsSignalled) {
    Event first;
    Event second;
    Background<int> waiter([&] { return waitAll(first, second, 10000); });
    first.signal();
    EXPECT_FALSE(waiter.finishedWithin(sync_test::BRIEFLY));
    second.signal();
    EXPECT_EQ(0, waiter.get());
    EXPECT_FALSE(first.isSignaled());
    EXPECT_FALSE(second.isSignaled());
}

TEST(ConcurrencyTest, WaitForAllThatTimesOutGivesConsumedSignalsBack) {
    Event signalled(true, true);
    Event unsignalled;
    EXPECT_EQ(-1, waitAll(signalled, unsignalled, 0));
    EXPECT_TRUE(signalled.isSignaled());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, waitAll(signalled, unsignalled, 100));
    EXPECT_GE(elapsedMs(start), 95);
    EXPECT_TRUE(signalled.isSignaled());
}

TEST(ConcurrencyTest, EmptyLists) {
    std::vector<Waitable*> none;
    EXPECT_EQ(0, Concurrency::waitForMultipleObjects(none, Concurrency::WAIT_FOR_ALL, -1));
    EXPECT_EQ(-1, Concurrency::waitForMultipleObjects(none, Concurrency::WAIT_FOR_ANY, 0));
    EXPECT_EQ(-1, Concurrency::waitForMultipleObjects(none, Concurrency::WAIT_FOR_ANY, -1));
}

// The waiter subscribes to the victim before the trigger; once it has consumed the trigger's
// signal it is certainly subscribed to the victim.
TEST(ConcurrencyTest, DestroyingAWaitedOnObjectRaisesTheDestroyedException) {
    std::unique_ptr<Event> victim(new Event);
    Event trigger;
    Background<std::wstring> waiter([&]() -> std::wstring {
        try {
            waitAll(*victim, trigger, 10000);
        } catch (KrelWaitObjectDestroyedException& e) {
            return e.getMessage();
        }
        return L"no exception";
    });
    trigger.signal();
    ASSERT_TRUE(eventually([&] { return !trigger.isSignaled(); }));
    victim.reset();
    EXPECT_EQ(L"Object [0] was destroyed!", waiter.get());
    EXPECT_TRUE(trigger.isSignaled());
}

// A cancelled waiter leaves through unwinding; a subscription left on the object would take the
// next signal for a thread that is gone.
TEST(ConcurrencyTest, WaiterCancelledInsideAWaitForAnyUnsubscribes) {
    Event first;
    Event second;
    ASSERT_TRUE(cancelInsideWait([&] { waitAny(first, second, 10000); }));
    first.signal();
    second.signal();
    EXPECT_TRUE(first.isSignaled());
    EXPECT_TRUE(second.isSignaled());
}

TEST(ConcurrencyTest, WaiterCancelledInsideAWaitForAllGivesBackConsumedSignals) {
    Event signalled(true, true);
    Event unsignalled;
    ASSERT_TRUE(cancelInsideWait([&] { waitAll(signalled, unsignalled, 10000); }));
    EXPECT_TRUE(signalled.isSignaled());
    unsignalled.signal();
    EXPECT_TRUE(unsignalled.isSignaled());
}

// A waiter with a very short time-out races every signal; a signal that arrives as the wait
// gives up is either reported or handed back, so the producer never waits for a lost one.
TEST(ConcurrencyTest, NoAutoResetSignalIsLostToATimedOutWait) {
    const int rounds = 300;
    Event work;
    Event done;
    Background<int> consumer([&] {
        int received = 0;
        while (received < rounds) {
            if (Concurrency::waitForSingleObject(work, 1) == 0) {
                ++received;
                done.signal();
            }
        }
        return received;
    });
    for (int i = 0; i < rounds; ++i) {
        work.signal();
        ASSERT_EQ(0, Concurrency::waitForSingleObject(done, 10000)) << "round " << i;
    }
    EXPECT_EQ(rounds, consumer.get());
}

// Waiters subscribe in opposite orders while two signallers signal the same two manual-reset
// events: no combination may block.
TEST(ConcurrencyTest, OppositeSubscriptionOrdersDoNotDeadlock) {
    Event first(false, false);
    Event second(false, false);
    std::atomic<bool> stop(false);
    auto signaller = [&](Event& event) {
        return [&] {
            while (!stop.load()) {
                event.signal();
                event.reset();
            }
            return true;
        };
    };
    auto waiter = [&](Event& a, Event& b) {
        return [&] {
            for (int i = 0; i < 3000; ++i) {
                waitAny(a, b, 1);
                waitAll(a, b, 0);
            }
            return true;
        };
    };
    Background<bool> s1(signaller(first));
    Background<bool> s2(signaller(second));
    Background<bool> w1(waiter(first, second));
    Background<bool> w2(waiter(second, first));
    bool finished = w1.finishedWithin(std::chrono::milliseconds(60000)) &&
                    w2.finishedWithin(std::chrono::milliseconds(60000));
    stop = true;
    EXPECT_TRUE(finished);
    EXPECT_TRUE(s1.get());
    EXPECT_TRUE(s2.get());
}

} // namespace
