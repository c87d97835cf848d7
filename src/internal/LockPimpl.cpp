#include "internal/LockPimpl.h"

#include "exception/KrelAccessException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "internal/MutexGuard.h"
#include "internal/PosixCalls.h"

using namespace krel_std;

namespace krel_std_internal {

LockPimpl::LockPimpl() : word(FREE), recursionCount(0), owner(nullThread()), ownerId(NO_OWNER_ID) {
    pthread_mutex_init(&mutex, nullptr);
    pthread_cond_init(&released, nullptr);
}

// A thread that released the lock to a sleeper may still be inside the mutex.
LockPimpl::~LockPimpl() {
    PosixCalls::lockMutex(mutex);
    PosixCalls::unlockMutex(mutex);
    pthread_cond_destroy(&released);
    pthread_mutex_destroy(&mutex);
}

// Another thread's lock answers false without touching the mutex. The owner path refuses to
// pass the recursion limit instead of wrapping the count.
bool LockPimpl::tryLock() {
    pthread_t self = CallerThread::handle();
    if (pthread_equal(owner.load(std::memory_order_relaxed), self)) {
        if (recursionCount == MAX_RECURSION) {
            return false;
        }
        ++recursionCount;
        return true;
    }
    if (!pthread_equal(owner.load(std::memory_order_relaxed), nullThread())) {
        return false;
    }
    if (!takeWord()) {
        return false;
    }
    recordOwner(self);
    ++recursionCount;
    return true;
}

// Every thread that goes to sleep leaves the word contended, so the release that frees the word
// also wakes one of them. The wait is not a cancellation point: a lock waits until it holds.
void LockPimpl::waitForRelease() {
    int cancelState;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
    {
        MutexGuard guard(mutex);
        while (word.exchange(CONTENDED, std::memory_order_acquire) != FREE) {
            pthread_cond_wait(&released, &mutex);
        }
    }
    pthread_setcancelstate(cancelState, nullptr);
}

void LockPimpl::releaseToSleeper() {
    MutexGuard guard(mutex);
    word.store(FREE, std::memory_order_release);
    pthread_cond_signal(&released);
}

void LockPimpl::recursionLimitReached() {
    PosixCalls::raise<KrelOutOfResourcesException>(
        L"krel_std::Lock::lock", L"The recursion limit for this lock has been exceeded.");
}

void LockPimpl::notOwner() {
    PosixCalls::raise<KrelAccessException>(L"krel_std::Lock::unlock",
                                           L"The current thread does not own the lock.");
}

} // namespace krel_std_internal
