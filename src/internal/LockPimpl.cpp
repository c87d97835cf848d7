#include "internal/LockPimpl.h"

#include "exception/KrelAccessException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "exception/KrelUnknownException.h"
#include "internal/PosixCalls.h"

#include <cerrno>

using namespace krel_std;

namespace krel_std_internal {

LockPimpl::LockPimpl() : recursionCount(0), owner(nullThread()), ownerId(NO_OWNER_ID) {
    pthread_mutex_init(&mutex, nullptr);
}

LockPimpl::~LockPimpl() {
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
    int result = PosixCalls::tryLockMutex(mutex);
    PosixCalls::checkMutexResult(result, L"krel_std::Lock::tryLock");
    if (result != 0) {
        return false;
    }
    recordOwner(self);
    ++recursionCount;
    return true;
}

void LockPimpl::lockFailed(int result) {
    if (result == EINTR) {
        result = PosixCalls::lockMutex(mutex);
    }
    PosixCalls::checkMutexResult(result, L"krel_std::Lock::lock");
    if (result != 0) {
        // An unknown failure: the mutex is not held, so the lock must not claim it.
        PosixCalls::raise<KrelUnknownException>(L"krel_std::Lock::lock",
                                                L"Other error: " + std::to_wstring(result), result);
    }
}

void LockPimpl::unlockFailed(int result) {
    if (result == EINTR) {
        result = PosixCalls::unlockMutex(mutex);
    }
    PosixCalls::checkMutexResult(result, L"krel_std::Lock::unlock");
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
