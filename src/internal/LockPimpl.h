#pragma once

#include "internal/CallerThread.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>

namespace krel_std_internal {

// A recursive lock over a default (non-recursive) POSIX mutex: the owner and the recursion
// count are kept here. Only the owning thread can find itself recorded as owner, so reading the
// owner without the mutex, and without ordering, is exact for the caller. The paths taken on
// every lock and unlock are inline; failures and limits leave through out-of-line functions.
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
            int result = pthread_mutex_lock(&mutex);
            if (result != 0) {
                lockFailed(result);
            }
            recordOwner(self);
        }
        if (recursionCount == MAX_RECURSION) {
            recursionLimitReached();
        }
        ++recursionCount;
    }

    // Counts one release. Answers true when the count reached 0: the owner is then cleared but
    // the POSIX mutex is still held, and the caller must call releaseMutex().
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

    void releaseMutex() {
        int result = pthread_mutex_unlock(&mutex);
        if (result != 0) {
            unlockFailed(result);
        }
    }

    bool tryLock();

private:
    static constexpr uint32_t MAX_RECURSION = 0xFFFFFFFFu;

    static pthread_t nullThread() { return pthread_t(); }

    void recordOwner(pthread_t self) {
        owner.store(self, std::memory_order_relaxed);
        ownerId = CallerThread::id();
    }

    // Retries an interrupted lock and raises what the error stands for; answers only once the
    // mutex is held.
    void lockFailed(int result);
    void unlockFailed(int result);
    [[noreturn]] static void recursionLimitReached();
    [[noreturn]] static void notOwner();

    pthread_mutex_t mutex;
    uint32_t recursionCount;
    std::atomic<pthread_t> owner;
    uint64_t ownerId;
};

} // namespace krel_std_internal
