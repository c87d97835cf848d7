#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <sys/single_threaded.h>

#include "internal/CallerThread.h"

namespace krel_std_internal {

// A recursive lock: an atomic lock word, the owner and the recursion count. A free lock is taken
// and given back with one atomic step each on the word, without a call; a thread that finds the
// lock held sleeps on a POSIX condition variable under a POSIX mutex, and marks the word so that
// the release goes through that mutex and wakes one sleeper. Only the owning thread can find
// itself recorded as owner, so reading the owner without ordering is exact for the caller.
class LockPimpl {
public:
    // The owner id of a free lock.
    static constexpr uint64_t NO_OWNER_ID = 0xFFFFFFFFu;

    LockPimpl();
    LockPimpl(const LockPimpl&) = delete;
    LockPimpl& operator=(const LockPimpl&) = delete;
    ~LockPimpl();

    void lock() {
        pthread_t self = CallerThread::handle();
        if (!pthread_equal(owner.load(std::memory_order_relaxed), self)) {
            if (!takeWord()) {
                waitForRelease();
            }
            recordOwner(self);
        }
        if (recursionCount == MAX_RECURSION) {
            recursionLimitReached();
        }
        ++recursionCount;
    }

    // Counts one release. Answers true when the count reached 0: the owner is then cleared but
    // the word still holds the lock, and the caller must call releaseMutex().
    bool unlock() {
        if (!pthread_equal(owner.load(std::memory_order_relaxed), CallerThread::handle())) {
            notOwner();
        }
        if (--recursionCount > 0) {
            return false;
        }
        owner.store(nullThread(), std::memory_order_relaxed);
        ownerId = NO_OWNER_ID;
        return true;
    }

    // Frees the word. Once it is free another thread may take the lock and destroy it, so
    // nothing here touches the lock afterwards, except a release that wakes a sleeper, which the
    // destructor waits for.
    void releaseMutex() {
        if (__libc_single_threaded) {
            word.store(FREE, std::memory_order_relaxed);
            return;
        }
        uint32_t expected = HELD;
        if (!word.compare_exchange_strong(expected, FREE, std::memory_order_release,
                                          std::memory_order_relaxed)) {
            releaseToSleeper();
        }
    }

    bool tryLock();

private:
    static constexpr uint32_t MAX_RECURSION = 0xFFFFFFFFu;
    // States of the word.
    static constexpr uint32_t FREE = 0;
    static constexpr uint32_t HELD = 1;
    // Held, and a thread may be sleeping until it is released.
    static constexpr uint32_t CONTENDED = 2;

    static pthread_t nullThread() { return pthread_t(); }

    void recordOwner(pthread_t self) {
        owner.store(self, std::memory_order_relaxed);
        ownerId = CallerThread::id();
    }

    // Takes a free word in one atomic step. While the process has a single thread nothing can
    // race with the caller, and plain reads and writes do: the C library flags the process as
    // threaded before a second thread starts, and the start publishes the word to it.
    bool takeWord() {
        if (__libc_single_threaded) {
            if (word.load(std::memory_order_relaxed) != FREE) {
                return false;
            }
            word.store(HELD, std::memory_order_relaxed);
            return true;
        }
        uint32_t expected = FREE;
        return word.compare_exchange_strong(expected, HELD, std::memory_order_acquire,
                                            std::memory_order_relaxed);
    }

    // Sleeps until the word can be taken, marking it contended; answers once it holds it.
    void waitForRelease();
    void releaseToSleeper();
    [[noreturn]] static void recursionLimitReached();
    [[noreturn]] static void notOwner();

    // Guards the sleeping and the waking of threads that wait for the lock.
    pthread_mutex_t mutex;
    pthread_cond_t released;
    std::atomic<uint32_t> word;
    uint32_t recursionCount;
    std::atomic<pthread_t> owner;
    uint64_t ownerId;
};

} // namespace krel_std_internal
