// Lock, a recursive mutual-exclusion lock that is also a Waitable.
#pragma once

#include <boost/shared_ptr.hpp>

#include "thread/Waitable.h"

namespace krel_std_internal {
class LockPimpl;
} // namespace krel_std_internal

namespace krel_std {

// A recursive lock owned by one thread at a time. It is an auto-reset Waitable: each full
// release signals it, so a Concurrency wait on a Lock ends when the lock has been released
// (the wait does not acquire the lock).
class Lock : public Waitable {
public:
    Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock() override;

    std::wstring toString() const override;

    // Throws KrelOutOfResourcesException at the recursion limit, and the mapped exceptions of
    // the underlying mutex.
    virtual void lock();
    // Throws KrelAccessException when the calling thread does not own the lock.
    virtual void unlock();
    // Answers false at once when another thread owns the lock.
    virtual bool tryLock();

private:
    boost::shared_ptr<krel_std_internal::LockPimpl> pimpl;
};

} // namespace krel_std
