#include <atomic>
#include <gtest/gtest.h>

#include "SyncTestSupport.h"
#include "thread/KrelAutoCriticalSection.h"
#include "thread/KrelCond.h"
#include "thread/KrelCriticalSection.h"
#include "thread/KrelMutex.h"
#include "thread/KrelThreadData.h"
#include "thread/KrelThreadFunctions.h"

using namespace KrelStd;
using sync_test::Background;

namespace {

TEST(OlderPrimitivesTest, WrappersThatWereNeverCreatedDoNothing) {
    KrelMutex mutex;
    KrelCond cond;
    KrelCriticalSection section;
    mutex.Lock();
    mutex.UnLock();
    cond.Wait(mutex);
    cond.Signal();
    section.Enter();
    section.Leave();
    mutex.Destroy();
    cond.Destroy();
    section.Destroy();
}

TEST(OlderPrimitivesTest, AMutexKeepsOtherThreadsOutUntilUnlocked) {
    KrelMutex mutex;
    mutex.Create();
    mutex.Lock();
    std::atomic<bool> entered{false};
    Background<bool> other([&] {
        mutex.Lock();
        entered = true;
        mutex.UnLock();
        return true;
    });
    EXPECT_FALSE(other.finishedWithin(sync_test::BRIEFLY));
    EXPECT_FALSE(entered.load());

    mutex.UnLock();
    EXPECT_TRUE(other.get());
    mutex.Destroy();
}

// The waiter holds the mutex until Wait gives it up, so once the signaller owns the mutex the
// waiter is inside Wait: the signal must reach it.
TEST(OlderPrimitivesTest, ASignalAfterTheWaiterReleasedTheMutexIsNotLost) {
    KrelMutex mutex;
    KrelCond cond;
    mutex.Create();
    cond.Create();
    std::atomic<bool> waiting{false};
    Background<bool> waiter([&] {
        mutex.Lock();
        waiting = true;
        cond.Wait(mutex);
        mutex.UnLock();
        return true;
    });
    ASSERT_TRUE(sync_test::eventually([&] { return waiting.load(); }));
    mutex.Lock();
    cond.Signal();
    mutex.UnLock();

    EXPECT_TRUE(waiter.get());
    cond.Destroy();
    mutex.Destroy();
}

TEST(OlderPrimitivesTest, ACriticalSectionMayBeEnteredAgainByItsOwner) {
    KrelCriticalSection section;
    section.Create();
    section.Enter();
    section.Enter();
    section.Leave();
    Background<bool> other([&] {
        section.Enter();
        section.Leave();
        return true;
    });
    EXPECT_FALSE(other.finishedWithin(sync_test::BRIEFLY));
    section.Leave();
    EXPECT_TRUE(other.get());
    section.Destroy();
}

TEST(OlderPrimitivesTest, CopiesOfAnAutoCriticalSectionShareOneSection) {
    KrelAutoCriticalSection* original = new KrelAutoCriticalSection;
    KrelAutoCriticalSection copy(*original);
    delete original;

    copy.GetCriticalSection().Enter();
    Background<bool> other([&] {
        copy.GetCriticalSection().Enter();
        copy.GetCriticalSection().Leave();
        return true;
    });
    EXPECT_FALSE(other.finishedWithin(sync_test::BRIEFLY));
    copy.GetCriticalSection().Leave();
    EXPECT_TRUE(other.get());
}

TEST(OlderPrimitivesTest, ThreadDataIsSharedByInstancesAndKeptPerThread) {
    KrelThreadData first;
    first.Destroy();
    void* value = nullptr;
    EXPECT_FALSE(first.Get(&value));
    EXPECT_FALSE(first.Set(&value));

    first.Create();
    int mine = 7;
    ASSERT_TRUE(first.Set(&mine));
    KrelThreadData second;
    ASSERT_TRUE(second.Get(&value));
    EXPECT_EQ(&mine, value);

    Background<bool> other([&second] {
        void* seen = &second;
        return second.Get(&seen) || seen != nullptr;
    });
    EXPECT_FALSE(other.get());
    first.Destroy();
}

TEST(OlderPrimitivesTest, ThreadIdHelpers) {
    EXPECT_FALSE(KrelIsValidThreadID(0xFFFFFFFFu));
    EXPECT_TRUE(KrelIsValidThreadID(0));
    EXPECT_NE(0u, KrelGetThreadID());
    EXPECT_TRUE(KrelSleep_ms(0));
}

} // namespace
