#include "thread/Lock.h"

#include "internal/LockPimpl.h"

using krel_std_internal::LockPimpl;

namespace krel_std {

// The lock's operations write no trace lines: the static log itself takes Locks.
Lock::Lock() : Waitable(true, false), pimpl(new LockPimpl) {}

Lock::~Lock() {}

std::wstring Lock::toString() const {
    return L"Lock{}";
}

void Lock::lock() {
    pimpl->lock();
}

// A complete release signals the lock's Waitable side: one thread waiting on it through
// Concurrency is released, or the lock stays signalled until a wait consumes the signal.
// The signal goes out while the lock is still held: once it is free, the next thread to take
// the lock may destroy it, so nothing here touches the lock after the release. With nobody
// waiting on the Waitable side the signal takes no mutex.
void Lock::unlock() {
    if (pimpl->unlock()) {
        signal();
        pimpl->releaseMutex();
    }
}

bool Lock::tryLock() {
    return pimpl->tryLock();
}

} // namespace krel_std
