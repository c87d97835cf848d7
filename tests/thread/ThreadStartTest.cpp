#include <atomic>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "FunctionRunnable.h"
#include "SyncTestSupport.h"
#include "exception/KrelOutOfResourcesException.h"
#include "platform/WinSync.h"
#include "support/AddressSpaceLimit.h"
#include "thread/Thread.h"

using krel_std::KrelOutOfResourcesException;
using krel_std::Thread;

namespace {

// While set, allocations through operator new fail on every thread but the spared one.
std::atomic<bool> failOtherThreads{false};
pthread_t sparedThread;

} // namespace

void* operator new(std::size_t size) {
    if (failOtherThreads.load(std::memory_order_acquire) &&
        !pthread_equal(pthread_self(), sparedThread)) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// Not inlined, so that the compiler does not pair this file's allocations with free().
__attribute__((noinline)) void operator delete(void* block) noexcept {
    std::free(block);
}

__attribute__((noinline)) void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

// The library's own nothrow allocations must come from the same heap as the deletes above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}

__attribute__((noinline)) void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

namespace {

const long SOON_MS = static_cast<long>(sync_test::SOON.count());

// What a test process reports through its exit status.
enum ChildOutcome {
    REFUSED_WITH_OUT_OF_RESOURCES = 0,
    NEVER_REFUSED = 10,
    WRONG_TEXT = 11,
    OTHER_EXCEPTION = 12,
    JOIN_FAILED = 13,
    STATE_CHANGED = 14,
    NOT_STARTED_AGAIN = 15
};

// Starts the thread and answers how the start was refused.
ChildOutcome refusalOfStart(Thread& thread) {
    try {
        thread.start();
    } catch (const KrelOutOfResourcesException& e) {
        return e.getMessage() == L"Out of resources to create thread."
                   ? REFUSED_WITH_OUT_OF_RESOURCES
                   : WRONG_TEXT;
    } catch (...) {
        return OTHER_EXCEPTION;
    }
    return NEVER_REFUSED;
}

// With the address space limited to what is in use plus `headroom`, starts threads until a
// start is refused; the runs use what a library thread keeps per thread (a wait's wake
// descriptor, an owned kernel mutex, some heap) and wait at a gate. Then every started thread
// must end.
ChildOutcome startUntilRefused(rlim_t headroom) {
    krel_test::limitAddressSpace(headroom);
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    const size_t most = 20000;
    std::vector<std::unique_ptr<Thread>> threads;
    threads.reserve(most);
    ChildOutcome outcome = NEVER_REFUSED;
    const auto run = [gate, mutex] {
        std::vector<char> heap(4096, 'x');
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        WaitForSingleObject(gate, INFINITE);
    };
    while (outcome == NEVER_REFUSED && threads.size() < most) {
        threads.emplace_back(new Thread(sync_test::runnable(run), L"pressed"));
        outcome = refusalOfStart(*threads.back());
    }
    SetEvent(gate);
    for (const std::unique_ptr<Thread>& thread : threads) {
        if (!thread->join(SOON_MS)) {
            return JOIN_FAILED;
        }
    }
    return outcome;
}

// Fails the new thread's allocations while it sets up its run: the start must be refused,
// the thread must stay joinable and startable, and a later start must run.
ChildOutcome startWithFailingSetUp() {
    std::atomic<int> runs{0};
    Thread thread(sync_test::runnable([&runs] { ++runs; }), L"refused set-up");
    sparedThread = pthread_self();
    failOtherThreads = true;
    const ChildOutcome outcome = refusalOfStart(thread);
    failOtherThreads = false;
    if (outcome != REFUSED_WITH_OUT_OF_RESOURCES) {
        return outcome;
    }
    if (!thread.join(0) || thread.getState() != Thread::NOT_STARTED || runs != 0) {
        return STATE_CHANGED;
    }
    thread.start();
    return thread.join(SOON_MS) && runs == 1 ? REFUSED_WITH_OUT_OF_RESOURCES : NOT_STARTED_AGAIN;
}

// Ends the process with the outcome; an alarm ends it should the work hang.
[[noreturn]] void exitWith(const std::function<ChildOutcome()>& work) {
    alarm(60);
    std::_Exit(work());
}

} // namespace

// Each case runs in a process of its own, started afresh: no other test's threads hold locks
// there, and the lowered limit stays with that process.
class ThreadStartTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ThreadStartTest, AFailedSetUpOfTheNewThreadIsTheStartersOutOfResources) {
    EXPECT_EXIT(exitWith(startWithFailingSetUp), ::testing::ExitedWithCode(0), "");
}

TEST_F(ThreadStartTest, StartsUnderAnAddressSpaceLimitEndInOutOfResourcesNeverInACrash) {
    if (krel_test::addressSanitizerActive()) {
        GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
    }
    const rlim_t mebibyte = 1024 * 1024;
    for (rlim_t headroom : {256 * mebibyte, 512 * mebibyte, 768 * mebibyte, 1024 * mebibyte}) {
        for (int round = 0; round < 3; ++round) {
            EXPECT_EXIT(exitWith([headroom] { return startUntilRefused(headroom); }),
                        ::testing::ExitedWithCode(0), "")
                << "headroom " << headroom / mebibyte << " MiB";
        }
    }
}
