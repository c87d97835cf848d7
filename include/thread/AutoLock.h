// AutoLock, which holds any lockable for a scope.
#pragma once

#include "base/Object.h"

namespace krel_std {

// Scoped holder of any lockable (a class with lock() and unlock()): locks on construction,
// unlocks on destruction, also when an exception leaves the scope.
template <typename T> class AutoLock : public Object {
public:
    explicit AutoLock(T& held) : lockable(held) { lockable.lock(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;
    ~AutoLock() override { lockable.unlock(); }

    std::wstring toString() const override { return L"AutoLock{}"; }

private:
    T& lockable;
};

} // namespace krel_std
