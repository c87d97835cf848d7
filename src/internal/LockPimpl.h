#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

namespace krel_std_internal {

// A recursive lock over a default (non-recursive) POSIX mutex: the owner and the recursion
// count are kept here. Only the owning thread can find itself recorded as owner, so reading the
// owner without the mutex is exact for the caller.
class LockPimpl {
public:
    // The owner id of a free lock.
    static constexpr uint64_t NO_OWNER_ID = 0xFFFFFFFFu;

    LockPimpl();
    LockPimpl(const LockPimpl&) = delete;
    LockPimpl& operator=(const LockPimpl&) = delete;
    ~LockPimpl();

    void lock();
    // Counts one release. Answers true when the count reached 0: the owner is then cleared but
    // the POSIX mutex is still held, and the caller must call releaseMutex().
    bool unlock();
    void releaseMutex();
    bool tryLock();

private:
    bool isOwnedByCaller() const;
    void recordOwner();

    pthread_mutex_t mutex;
    uint32_t recursionCount;
    std::atomic<pthread_t> owner;
    uint64_t ownerId;
};

} // namespace krel_std_internal
