#include "thread/Lock.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <pthread.h>
#include <vector>

#include "SyncTestSupport.h"
#include "exception/KrelAccessException.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"

using namespace krel_std;
using sync_test::Background;

namespace {

bool tryLockElsewhere(Lock& lock) {
    Background<bool> other([&lock] {
        bool locked = lock.tryLock();
        if (locked) {
            lock.unlock();
        }
        return locked;
    });
    return other.get();
}

// Records, on the first signal only, whether another thread could take the lock meanwhile.
class ObservedLock : public Lock {
public:
    bool takenElsewhereDuringSignal = false;

protected:
    void signal() override {
        if (!observed.exchange(true)) {
            takenElsewhereDuringSignal = tryLockElsewhere(*this);
        }
        Lock::signal();
    }

private:
    std::atomic<bool> observed{false};
};

TEST(LockTest, RecursiveLockIsReleasedOnlyByTheLastUnlock) {
    Lock lock;
    lock.lock();
    lock.lock();
    lock.unlock();
    EXPECT_FALSE(tryLockElsewhere(lock));
    EXPECT_FALSE(lock.isSignaled());
    lock.unlock();
    EXPECT_TRUE(lock.isSignaled());
    EXPECT_TRUE(tryLockElsewhere(lock));
}

TEST(LockTest, UnlockByNonOwnerThrowsAndLeavesTheOwnersCount) {
    Lock lock;
    lock.lock();
    lock.lock();
    Background<std::wstring> intruder([&lock]() -> std::wstring {
        try {
            lock.unlock();
        } catch (KrelAccessException& e) {
            return e.getMessage();
        }
        return L"no exception";
    });
    EXPECT_EQ(L"The current thread does not own the lock.", intruder.get());
    lock.unlock();
    EXPECT_FALSE(tryLockElsewhere(lock));
    lock.unlock();
    EXPECT_TRUE(tryLockElsewhere(lock));
}

TEST(LockTest, UnlockOfAFreeLockThrows) {
    Lock lock;
    EXPECT_THROW(lock.unlock(), KrelAccessException);
}

TEST(LockTest, TryLockByOwnerRaisesTheCount) {
    Lock lock;
    ASSERT_TRUE(lock.tryLock());
    ASSERT_TRUE(lock.tryLock());
    lock.unlock();
    EXPECT_FALSE(tryLockElsewhere(lock));
    lock.unlock();
    EXPECT_TRUE(tryLockElsewhere(lock));
}

TEST(LockTest, LockWaitsUntilTheOwnerReleases) {
    Lock lock;
    lock.lock();
    Background<bool> waiter([&lock] {
        lock.lock();
        lock.unlock();
        return true;
    });
    EXPECT_FALSE(waiter.finishedWithin(sync_test::BRIEFLY));
    lock.unlock();
    EXPECT_TRUE(waiter.get());
}

TEST(LockTest, SerialisesConcurrentUpdates) {
    Lock lock;
    long counter = 0;
    std::vector<std::unique_ptr<Background<bool>>> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back(new Background<bool>([&] {
            for (int i = 0; i < 20000; ++i) {
                AutoLock<Lock> guard(lock);
                ++counter;
            }
            return true;
        }));
    }
    for (auto& worker : workers) {
        ASSERT_TRUE(worker->get());
    }
    EXPECT_EQ(8 * 20000, counter);
}

TEST(LockTest, AutoLockReleasesWhenAnExceptionLeavesTheScope) {
    Lock lock;
    try {
        AutoLock<Lock> guard(lock);
        throw 1;
    } catch (int) {
    }
    EXPECT_TRUE(tryLockElsewhere(lock));
}

TEST(LockTest, WaitingOnALockEndsAtItsReleaseWithoutAcquiringIt) {
    Lock lock;
    lock.lock();
    Background<int> waiter([&lock] { return Concurrency::waitForSingleObject(lock, 10000); });
    EXPECT_FALSE(waiter.finishedWithin(sync_test::BRIEFLY));
    lock.unlock();
    EXPECT_EQ(0, waiter.get());
    EXPECT_TRUE(lock.tryLock());
    lock.unlock();
}

// The next thread to take a released lock may destroy it at once, so the release must be done
// with the lock (its signal included) before another thread can take it.
TEST(LockTest, ReleaseSignalsBeforeAnotherThreadCanTakeTheLock) {
    ObservedLock lock;
    lock.lock();
    lock.unlock();
    EXPECT_FALSE(lock.takenElsewhereDuringSignal);
    EXPECT_TRUE(lock.isSignaled());
    EXPECT_TRUE(tryLockElsewhere(lock));
}

// A thread cancelled while it waits for a lock still takes the lock: the wait is not a
// cancellation point, so the cancellation acts at the thread's next one.
TEST(LockTest, CancelledWaiterTakesTheLockBeforeItEnds) {
    struct Shared {
        Lock lock;
        std::atomic<bool> waiting{false};
        std::atomic<bool> took{false};
    } shared;
    shared.lock.lock();
    auto body = [](void* arg) -> void* {
        Shared* shared = static_cast<Shared*>(arg);
        shared->waiting = true;
        shared->lock.lock();
        shared->took = true;
        shared->lock.unlock();
        pthread_testcancel();
        return nullptr;
    };
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, nullptr, body, &shared));
    ASSERT_TRUE(sync_test::eventually([&] { return shared.waiting.load(); }));
    pthread_cancel(thread);
    shared.lock.unlock();
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(PTHREAD_CANCELED, result);
    EXPECT_TRUE(shared.took);
    EXPECT_TRUE(tryLockElsewhere(shared.lock));
}

// The thread that takes a released lock may destroy it at once, also when the release had to
// wake it from its wait.
TEST(LockTest, WokenWaiterMayDestroyTheLockAtOnce) {
    for (int round = 0; round < 100; ++round) {
        Lock* lock = new Lock;
        lock->lock();
        std::atomic<bool> waiting(false);
        Background<bool> waiter([lock, &waiting] {
            waiting = true;
            lock->lock();
            lock->unlock();
            delete lock;
            return true;
        });
        ASSERT_TRUE(sync_test::eventually([&] { return waiting.load(); }));
        lock->unlock();
        ASSERT_TRUE(waiter.get()) << "round " << round;
    }
}

TEST(LockTest, TextForm) {
    EXPECT_EQ(L"Lock{}", Lock().toString());
}

} // namespace
