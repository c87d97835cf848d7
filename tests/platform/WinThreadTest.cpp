// Threads named by handles: _beginthreadex, suspend counts, and the program's own file name.
#include "platform/WinThread.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinLibrary.h"
#include "platform/WinSync.h"
#include "support/ModulePaths.h"

namespace {

const DWORD PATIENCE_MS = 20000;
// How long a stopped thread is watched for progress it must not make.
const DWORD STILLNESS_MS = 50;

// Counts as fast as it can until told to end; a thread that is suspended stops counting.
struct Counter {
    std::atomic<long> count{0};
    std::atomic<bool> end{false};

    static unsigned run(void* self) {
        Counter& counter = *static_cast<Counter*>(self);
        while (!counter.end.load()) {
            counter.count.fetch_add(1);
        }
        return 7;
    }
};

class WinThreadTest : public ::testing::Test {
protected:
    void TearDown() override {
        counter.end.store(true);
        for (HANDLE thread : threads) {
            for (DWORD previous = ResumeThread(thread);
                 previous != 0 && previous != static_cast<DWORD>(-1);
                 previous = ResumeThread(thread)) {
            }
            EXPECT_EQ(WaitForSingleObject(thread, PATIENCE_MS), WAIT_OBJECT_0);
            CloseHandle(thread);
        }
    }

    HANDLE start(unsigned (*function)(void*), void* argument, unsigned flags = 0) {
        const HANDLE thread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, function, argument, flags, nullptr));
        EXPECT_NE(thread, nullptr);
        threads.push_back(thread);
        return thread;
    }

    // Whether the counter moves within the patience.
    bool counterMoves() {
        const long before = counter.count.load();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (counter.count.load() == before) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }

    // Whether the counter stands still for a while (an observation window, not a wait).
    bool counterStandsStill() {
        const long before = counter.count.load();
        HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WaitForSingleObject(never, STILLNESS_MS);
        CloseHandle(never);
        return counter.count.load() == before;
    }

    Counter counter;
    std::vector<HANDLE> threads;
};

TEST_F(WinThreadTest, ASuspendedThreadStopsUntilItIsResumed) {
    const HANDLE thread = start(&Counter::run, &counter);
    ASSERT_TRUE(counterMoves());
    EXPECT_EQ(SuspendThread(thread), 0u);
    EXPECT_TRUE(counterStandsStill());
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_TRUE(counterMoves());
}

TEST_F(WinThreadTest, SuspendAndResumeAnswerThePreviousCount) {
    const HANDLE thread = start(&Counter::run, &counter);
    EXPECT_EQ(SuspendThread(thread), 0u);
    EXPECT_EQ(SuspendThread(thread), 1u);
    EXPECT_EQ(ResumeThread(thread), 2u);
    EXPECT_TRUE(counterStandsStill()) << "one suspension is still owed";
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(ResumeThread(thread), 0u) << "a running thread answers 0";
    EXPECT_TRUE(counterMoves());
}

TEST_F(WinThreadTest, RapidSuspendsAndResumesKeepTheirCounts) {
    const HANDLE thread = start(&Counter::run, &counter);
    for (int round = 0; round < 2000; ++round) {
        ASSERT_EQ(SuspendThread(thread), 0u);
        ASSERT_EQ(ResumeThread(thread), 1u);
    }
    EXPECT_TRUE(counterMoves());
}

TEST_F(WinThreadTest, AThreadStartedSuspendedRunsOnlyOnceResumed) {
    const HANDLE thread = start(&Counter::run, &counter, CREATE_SUSPENDED);
    EXPECT_TRUE(counterStandsStill());
    EXPECT_EQ(counter.count.load(), 0);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_TRUE(counterMoves());
}

TEST_F(WinThreadTest, ASuspendedThreadStaysStoppedWhenItsWaitIsSatisfied) {
    struct Waiter {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> woke{false};
        static unsigned run(void* self) {
            Waiter& waiter = *static_cast<Waiter*>(self);
            WaitForSingleObject(waiter.event, PATIENCE_MS);
            waiter.woke.store(true);
            return 0;
        }
    } waiter;
    const HANDLE thread = start(&Waiter::run, &waiter);
    EXPECT_EQ(SuspendThread(thread), 0u);
    SetEvent(waiter.event);
    EXPECT_TRUE(counterStandsStill());
    EXPECT_FALSE(waiter.woke.load());
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, PATIENCE_MS), WAIT_OBJECT_0);
    EXPECT_TRUE(waiter.woke.load());
    CloseHandle(waiter.event);
}

TEST_F(WinThreadTest, AnEndedThreadIsSignalledKeepsItsCodeAndCannotBeSuspended) {
    counter.end.store(true);
    unsigned id = 0;
    const HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Counter::run, &counter, 0, &id));
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    ASSERT_EQ(WaitForSingleObject(thread, PATIENCE_MS), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(SuspendThread(thread), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ResumeThread(thread), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(thread);
}

TEST_F(WinThreadTest, HandlesThatNameNoThreadAreRefused) {
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE handle : {static_cast<HANDLE>(nullptr), event}) {
        EXPECT_EQ(SuspendThread(handle), static_cast<DWORD>(-1));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(ResumeThread(handle), static_cast<DWORD>(-1));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    CloseHandle(event);
}

TEST_F(WinThreadTest, ANullStartAddressIsRefused) {
    errno = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(errno, EINVAL);
}

TEST(ModuleFileName, OfTheProgramIsItsExecutable) {
    wchar_t buffer[4096];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
    EXPECT_EQ(std::wstring(buffer), krel_test::selfPath());
    EXPECT_EQ(length, krel_test::selfPath().size());
}

TEST(ModuleFileName, IsCutToASmallBuffer) {
    wchar_t buffer[5];
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::wstring(buffer), krel_test::selfPath().substr(0, 4));
}

TEST(ModuleFileName, OfALoadedLibraryIsItsFile) {
    const HMODULE module = LoadLibraryW(L"libc.so.6");
    ASSERT_NE(module, nullptr);
    wchar_t buffer[4096];
    ASSERT_GT(GetModuleFileNameW(module, buffer, 4096), 0u);
    EXPECT_NE(std::wstring(buffer).find(L"libc.so.6"), std::wstring::npos);
    FreeLibrary(module);
}

} // namespace
