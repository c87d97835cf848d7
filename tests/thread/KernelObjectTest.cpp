#include <chrono>
#include <gtest/gtest.h>
#include <vector>

#include "SyncTestSupport.h"
#include "platform/WinBase.h"
#include "platform/WinSync.h"
#include "platform/WinTls.h"

using sync_test::Background;
using sync_test::BRIEFLY;

namespace {

const DWORD SOON_MS = static_cast<DWORD>(sync_test::SOON.count());

// Events made for one test and closed after it.
class KernelObjectTest : public ::testing::Test {
protected:
    HANDLE event(bool manualReset, bool signaled = false) {
        HANDLE handle = CreateEventW(nullptr, manualReset, signaled, nullptr);
        EXPECT_NE(nullptr, handle);
        handles.push_back(handle);
        return handle;
    }

    std::vector<HANDLE> events(size_t count, bool manualReset) {
        std::vector<HANDLE> made;
        for (size_t i = 0; i < count; ++i) {
            made.push_back(event(manualReset));
        }
        return made;
    }

    bool isSignaled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

    // Starts a thread that waits on `awaited` and tells through `ready` that its wait has begun.
    DWORD waitAfterTellingReady(HANDLE ready, HANDLE awaited) {
        return SignalObjectAndWait(ready, awaited, SOON_MS, FALSE);
    }

    void TearDown() override {
        for (HANDLE handle : handles) {
            CloseHandle(handle);
        }
    }

    std::vector<HANDLE> handles;
};

TEST_F(KernelObjectTest, AnAutoResetEventSatisfiesOneWaitAndResetsItself) {
    HANDLE e = event(false);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, 0));
    ASSERT_TRUE(SetEvent(e));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, 0));
}

TEST_F(KernelObjectTest, AManualResetEventStaysSignalledUntilReset) {
    HANDLE e = event(true, true);
    EXPECT_TRUE(isSignaled(e));
    EXPECT_TRUE(isSignaled(e));
    ASSERT_TRUE(ResetEvent(e));
    EXPECT_FALSE(isSignaled(e));
}

TEST_F(KernelObjectTest, WaitForAnyAnswersTheLowestSignalledIndexAndTakesOnlyThatObject) {
    std::vector<HANDLE> all = events(MAXIMUM_WAIT_OBJECTS, false);
    SetEvent(all[40]);
    SetEvent(all[10]);

    EXPECT_EQ(WAIT_OBJECT_0 + 10,
              WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, all.data(), FALSE, 0));
    EXPECT_TRUE(isSignaled(all[40]));
}

TEST_F(KernelObjectTest, AWaitOnSixtyFourHandlesWakesWhenTheLastIsSetByAnotherThread) {
    std::vector<HANDLE> all = events(MAXIMUM_WAIT_OBJECTS, false);
    Background<DWORD> waiter([&all] {
        return WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, all.data(), FALSE, INFINITE);
    });
    EXPECT_FALSE(waiter.finishedWithin(BRIEFLY));

    SetEvent(all[63]);
    EXPECT_EQ(WAIT_OBJECT_0 + 63, waiter.get());
}

TEST_F(KernelObjectTest, AWaitTimesOutAfterItsTimeout) {
    HANDLE e = event(false);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, 50));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
}

TEST_F(KernelObjectTest, BadArgumentsFailTheWait) {
    std::vector<HANDLE> tooMany = events(MAXIMUM_WAIT_OBJECTS + 1, true);
    EXPECT_EQ(WAIT_FAILED,
              WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, tooMany.data(), FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(0, tooMany.data(), FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    HANDLE twice[] = {tooMany[0], tooMany[0]};
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, twice, TRUE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(reinterpret_cast<HANDLE>(0x7FFFFFF0), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(KernelObjectTest, WaitForAllTakesEveryObjectTogetherOnceAllAreSignalled) {
    std::vector<HANDLE> three = events(3, false);
    SetEvent(three[0]);
    SetEvent(three[2]);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(3, three.data(), TRUE, 20));
    EXPECT_TRUE(isSignaled(three[0]));
    SetEvent(three[0]);

    Background<DWORD> waiter(
        [&three] { return WaitForMultipleObjects(3, three.data(), TRUE, INFINITE); });
    EXPECT_FALSE(waiter.finishedWithin(BRIEFLY));
    SetEvent(three[1]);
    EXPECT_EQ(WAIT_OBJECT_0, waiter.get());
    for (HANDLE e : three) {
        EXPECT_FALSE(isSignaled(e));
    }
}

TEST_F(KernelObjectTest, PulsingAManualResetEventReleasesEveryCurrentWaiter) {
    HANDLE pulsed = event(true);
    HANDLE ready1 = event(true);
    HANDLE ready2 = event(true);
    Background<DWORD> first([&] { return waitAfterTellingReady(ready1, pulsed); });
    Background<DWORD> second([&] { return waitAfterTellingReady(ready2, pulsed); });
    HANDLE ready[] = {ready1, ready2};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, ready, TRUE, SOON_MS));

    ASSERT_TRUE(PulseEvent(pulsed));
    EXPECT_EQ(WAIT_OBJECT_0, first.get());
    EXPECT_EQ(WAIT_OBJECT_0, second.get());
    EXPECT_FALSE(isSignaled(pulsed));
}

TEST_F(KernelObjectTest, PulsingAnAutoResetEventReleasesOneWaiterAtATime) {
    HANDLE pulsed = event(false);
    HANDLE ready1 = event(true);
    HANDLE ready2 = event(true);
    Background<DWORD> first([&] { return waitAfterTellingReady(ready1, pulsed); });
    Background<DWORD> second([&] { return waitAfterTellingReady(ready2, pulsed); });
    HANDLE ready[] = {ready1, ready2};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, ready, TRUE, SOON_MS));

    PulseEvent(pulsed);
    const std::chrono::milliseconds now(0);
    ASSERT_TRUE(sync_test::eventually(
        [&] { return first.finishedWithin(now) || second.finishedWithin(now); }));
    EXPECT_FALSE(first.finishedWithin(BRIEFLY) && second.finishedWithin(BRIEFLY));
    PulseEvent(pulsed);
    EXPECT_EQ(WAIT_OBJECT_0, first.get());
    EXPECT_EQ(WAIT_OBJECT_0, second.get());
}

TEST_F(KernelObjectTest, APulseWithoutWaitersIsLost) {
    HANDLE e = event(true);
    PulseEvent(e);
    EXPECT_FALSE(isSignaled(e));
}

TEST_F(KernelObjectTest, AnObjectWhoseHandleIsClosedDuringAWaitLivesUntilTheWaitEnds) {
    HANDLE ready = event(true);
    HANDLE named = CreateEventW(nullptr, FALSE, FALSE, L"threads-test-close-during-wait");
    HANDLE second = CreateEventW(nullptr, FALSE, FALSE, L"threads-test-close-during-wait");
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    Background<DWORD> waiter([&] { return waitAfterTellingReady(ready, named); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, SOON_MS));

    ASSERT_TRUE(CloseHandle(named));
    SetEvent(second);
    EXPECT_EQ(WAIT_OBJECT_0, waiter.get());
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_FALSE(CloseHandle(second));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(KernelObjectTest, AMutexIsOwnedRecursivelyByOneThread) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    handles.push_back(mutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));

    Background<DWORD> other([mutex] { return WaitForSingleObject(mutex, 0); });
    EXPECT_EQ(WAIT_TIMEOUT, other.get());
    Background<BOOL> stranger([mutex] { return ReleaseMutex(mutex); });
    EXPECT_FALSE(stranger.get());

    EXPECT_TRUE(ReleaseMutex(mutex));
    Background<DWORD> stillHeld([mutex] { return WaitForSingleObject(mutex, 0); });
    EXPECT_EQ(WAIT_TIMEOUT, stillHeld.get());
    EXPECT_TRUE(ReleaseMutex(mutex));
    Background<DWORD> afterRelease([mutex] {
        DWORD result = WaitForSingleObject(mutex, 0);
        ReleaseMutex(mutex);
        return result;
    });
    EXPECT_EQ(WAIT_OBJECT_0, afterRelease.get());
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
}

// A thread that ends while it owns a mutex abandons it: the next wait takes it and says so,
// instead of waiting for a release that never comes.
TEST_F(KernelObjectTest, AMutexWhoseOwnerEndedIsTakenAsAbandoned) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    handles.push_back(mutex);
    Background<DWORD> owner([mutex] { return WaitForSingleObject(mutex, 0); });
    ASSERT_EQ(WAIT_OBJECT_0, owner.get());

    EXPECT_EQ(WAIT_ABANDONED_0, WaitForSingleObject(mutex, SOON_MS));
    Background<DWORD> other([mutex] { return WaitForSingleObject(mutex, 0); });
    EXPECT_EQ(WAIT_TIMEOUT, other.get());
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(ReleaseMutex(mutex));
}

TEST_F(KernelObjectTest, AWaitThatTakesAnAbandonedMutexAnswersItsIndex) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    handles.push_back(mutex);
    Background<DWORD> owner([mutex] { return WaitForSingleObject(mutex, 0); });
    ASSERT_EQ(WAIT_OBJECT_0, owner.get());
    HANDLE both[] = {event(true), mutex};

    EXPECT_EQ(WAIT_ABANDONED_0 + 1, WaitForMultipleObjects(2, both, FALSE, SOON_MS));
    EXPECT_TRUE(ReleaseMutex(mutex));
}

TEST_F(KernelObjectTest, ThreadLocalSlotsHoldOneValuePerThread) {
    DWORD index = TlsAlloc();
    ASSERT_NE(TLS_OUT_OF_INDEXES, index);
    int mine = 1;
    ASSERT_TRUE(TlsSetValue(index, &mine));

    Background<LPVOID> other([index] { return TlsGetValue(index); });
    EXPECT_EQ(nullptr, other.get());
    EXPECT_EQ(&mine, TlsGetValue(index));
    EXPECT_TRUE(TlsFree(index));
}

} // namespace
