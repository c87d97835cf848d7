#include "internal/LockPimpl.h"

#include "exception/KrelAccessException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "exception/KrelUnknownException.h"
#include "internal/PosixCalls.h"
#include "thread/Thread.h"

using namespace krel_std;

namespace krel_std_internal {

namespace {
const uint32_t MAX_RECURSION = 0xFFFFFFFFu;
} // namespace

LockPimpl::LockPimpl() : recursionCount(0), owner(PosixCalls::nullThread()), ownerId(NO_OWNER_ID) {
    pthread_mutex_init(&mutex, nullptr);
}

LockPimpl::~LockPimpl() {
    pthread_mutex_destroy(&mutex);
}

void LockPimpl::lock() {
    if (!isOwnedByCaller()) {
        int result = PosixCalls::lockMutex(mutex);
        PosixCalls::checkMutexResult(result, L"krel_std::Lock::lock");
        if (result != 0) {
            // An unknown failure: the mutex is not held, so the lock must not claim it.
            PosixCalls::raise<KrelUnknownException>(
                L"krel_std::Lock::lock", L"Other error: " + std::to_wstring(result), result);
        }
        recordOwner();
    }
    if (recursionCount == MAX_RECURSION) {
        PosixCalls::raise<KrelOutOfResourcesException>(
            L"krel_std::Lock::lock", L"The recursion limit for this lock has been exceeded.");
    }
    ++recursionCount;
}

bool LockPimpl::unlock() {
    if (!isOwnedByCaller()) {
        PosixCalls::raise<KrelAccessException>(L"krel_std::Lock::unlock",
                                               L"The current thread does not own the lock.");
    }
    if (--recursionCount > 0) {
        return false;
    }
    owner.store(PosixCalls::nullThread());
    ownerId = NO_OWNER_ID;
    return true;
}

void LockPimpl::releaseMutex() {
    PosixCalls::checkMutexResult(PosixCalls::unlockMutex(mutex), L"krel_std::Lock::unlock");
}

// Another thread's lock answers false without touching the mutex. The owner path refuses to
// pass the recursion limit instead of wrapping the count.
bool LockPimpl::tryLock() {
    if (isOwnedByCaller()) {
        if (recursionCount == MAX_RECURSION) {
            return false;
        }
        ++recursionCount;
        return true;
    }
    if (!pthread_equal(owner.load(), PosixCalls::nullThread())) {
        return false;
    }
    int result = PosixCalls::tryLockMutex(mutex);
    PosixCalls::checkMutexResult(result, L"krel_std::Lock::tryLock");
    if (result != 0) {
        return false;
    }
    recordOwner();
    ++recursionCount;
    return true;
}

bool LockPimpl::isOwnedByCaller() const {
    return PosixCalls::isCurrentThread(owner.load());
}

void LockPimpl::recordOwner() {
    owner.store(pthread_self());
    ownerId = Thread::getCurrentThreadId();
}

} // namespace krel_std_internal
