#include "thread/Semaphore.h"

#include <atomic>
#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <set>
#include <vector>

#include "SyncTestSupport.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelUnknownException.h"
#include "thread/AtomicInteger.h"
#include "thread/AtomicLong.h"
#include "thread/Concurrency.h"

using namespace krel_std;
using sync_test::Background;

namespace {

TEST(SemaphoreTest, NegativeInitialValueCountsAsZero) {
    Semaphore semaphore(-3);
    EXPECT_EQ(0, semaphore.getValue());
    EXPECT_FALSE(semaphore.isSignaled());
}

TEST(SemaphoreTest, PositiveInitialValueIsSignalled) {
    Semaphore semaphore(2);
    EXPECT_EQ(2, semaphore.getValue());
    EXPECT_TRUE(semaphore.isSignaled());
    EXPECT_EQ(L"Semaphore{value=2}", semaphore.toString());
}

TEST(SemaphoreTest, InitialValueAboveTheLimitIsRejected) {
    EXPECT_THROW(Semaphore(LONG_MAX), KrelIllegalArgumentException);
}

TEST(SemaphoreTest, IncrementPastTheMaximumSaysSoAndKeepsTheCount) {
    Semaphore semaphore(SEM_VALUE_MAX);
    try {
        semaphore.increment();
        FAIL() << "an increment past the maximum was accepted";
    } catch (const KrelUnknownException& failure) {
        EXPECT_NE(std::wstring::npos,
                  failure.getMessage().find(L"The semaphore's count would pass its maximum of " +
                                            std::to_wstring(SEM_VALUE_MAX) + L"."));
    }
    EXPECT_EQ(SEM_VALUE_MAX, semaphore.getValue());
}

TEST(SemaphoreTest, TryDecrementAtZeroAnswersFalse) {
    Semaphore semaphore;
    EXPECT_FALSE(semaphore.tryDecrement());
    semaphore.increment();
    EXPECT_TRUE(semaphore.tryDecrement());
    EXPECT_EQ(0, semaphore.getValue());
}

TEST(SemaphoreTest, PostfixOperatorsChangeTheValue) {
    Semaphore semaphore;
    semaphore++;
    semaphore++;
    semaphore--;
    EXPECT_EQ(1, semaphore.getValue());
}

TEST(SemaphoreTest, IncrementReleasesAConcurrencyWaiter) {
    Semaphore semaphore;
    Background<bool> waiter([&] {
        return Concurrency::waitForSingleObject(semaphore, 10000) == 0 && semaphore.tryDecrement();
    });
    EXPECT_FALSE(waiter.finishedWithin(sync_test::BRIEFLY));
    semaphore.increment();
    EXPECT_TRUE(waiter.get());
}

TEST(SemaphoreTest, DecrementWaitsForAUnit) {
    Semaphore semaphore;
    Background<bool> consumer([&] {
        semaphore.decrement();
        return true;
    });
    EXPECT_FALSE(consumer.finishedWithin(sync_test::BRIEFLY));
    semaphore.increment();
    EXPECT_TRUE(consumer.get());
    EXPECT_EQ(0, semaphore.getValue());
}

TEST(SemaphoreTest, EveryUnitIsTakenExactlyOnceUnderContention) {
    const int perThread = 5000;
    Semaphore semaphore;
    std::vector<std::unique_ptr<Background<bool>>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(new Background<bool>([&] {
            for (int i = 0; i < perThread; ++i) {
                semaphore.increment();
            }
            return true;
        }));
        threads.emplace_back(new Background<bool>([&] {
            for (int i = 0; i < perThread; ++i) {
                semaphore.decrement();
            }
            return true;
        }));
    }
    for (auto& thread : threads) {
        EXPECT_TRUE(thread->get());
    }
    EXPECT_EQ(0, semaphore.getValue());
}

// Confines the calling thread to the first processor it may run on.
void runOnOneProcessor() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) {
        return;
    }
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            pthread_setaffinity_np(pthread_self(), sizeof(one), &one);
            return;
        }
    }
}

// The thread that takes the posted unit may destroy the semaphore at once, while the posting
// thread is still inside increment(). Sharing one processor, the woken taker often runs before
// the poster returns.
TEST(SemaphoreTest, TakerMayDestroyTheSemaphoreAsSoonAsItHasTheUnit) {
    const int rounds = 2000;
    std::vector<Semaphore*> semaphores;
    for (int i = 0; i < rounds; ++i) {
        semaphores.push_back(new Semaphore);
    }
    std::atomic<int> turn(-1);
    Background<bool> poster([&] {
        runOnOneProcessor();
        for (int i = 0; i < rounds; ++i) {
            if (!sync_test::eventually([&] { return turn.load() == i; })) {
                return false;
            }
            semaphores[i]->increment();
        }
        return true;
    });
    Background<bool> taker([&] {
        runOnOneProcessor();
        for (int i = 0; i < rounds; ++i) {
            turn = i;
            semaphores[i]->decrement();
            delete semaphores[i];
        }
        return true;
    });
    EXPECT_TRUE(taker.get());
    EXPECT_TRUE(poster.get());
}

TEST(AtomicIntegerTest, ArithmeticWrapsAround) {
    AtomicInteger value(INT_MAX);
    EXPECT_EQ(INT_MIN, value.incrementAndGet());
    EXPECT_EQ(INT_MAX, value.decrementAndGet());
}

TEST(AtomicIntegerTest, OperationsAnswerOldOrNewValue) {
    AtomicInteger value;
    EXPECT_EQ(0, value.getAndIncrement());
    EXPECT_EQ(1, value.getAndDecrement());
    EXPECT_EQ(5, value.addAndGet(5));
    EXPECT_EQ(5, value.getAndAdd(-2));
    EXPECT_EQ(3, value.getAndSet(9));
    value.set(2);
    EXPECT_FALSE(value.compareAndSet(1, 5));
    EXPECT_EQ(2, value.get());
    EXPECT_TRUE(value.compareAndSet(2, 5));
    EXPECT_EQ(L"AtomicInteger{value=5}", value.toString());
}

TEST(AtomicIntegerTest, ConcurrentIncrementsAnswerDistinctValues) {
    AtomicInteger counter;
    std::vector<std::unique_ptr<Background<std::vector<int>>>> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back(new Background<std::vector<int>>([&] {
            std::vector<int> seen;
            for (int i = 0; i < 5000; ++i) {
                seen.push_back(counter.getAndIncrement());
            }
            return seen;
        }));
    }
    std::set<int> all;
    for (auto& thread : threads) {
        for (int value : thread->get()) {
            all.insert(value);
        }
    }
    EXPECT_EQ(30000u, all.size());
    EXPECT_EQ(30000, counter.get());
}

TEST(AtomicLongTest, DecrementBelowZeroWraps) {
    AtomicLong value;
    EXPECT_EQ(UINT64_MAX, value.decrementAndGet());
    EXPECT_EQ(0u, value.incrementAndGet());
}

TEST(AtomicLongTest, CompareAndSetAndText) {
    AtomicLong value(7);
    EXPECT_EQ(L"AtomicLong{value=7}", value.toString());
    EXPECT_FALSE(value.compareAndSet(1, 5));
    EXPECT_TRUE(value.compareAndSet(7, 5));
    EXPECT_EQ(5u, value.getAndAdd(3));
    EXPECT_EQ(8u, value.get());
}

TEST(AtomicLongTest, ConcurrentAdditionsAreAllCounted) {
    AtomicLong counter;
    std::vector<std::unique_ptr<Background<bool>>> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back(new Background<bool>([&] {
            for (int i = 0; i < 5000; ++i) {
                counter.addAndGet(3);
            }
            return true;
        }));
    }
    for (auto& thread : threads) {
        EXPECT_TRUE(thread->get());
    }
    EXPECT_EQ(90000u, counter.get());
}

} // namespace
