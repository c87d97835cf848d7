// Semaphore, a counting semaphore that is also a Waitable.
#pragma once

#include <boost/shared_ptr.hpp>

#include "thread/Waitable.h"

namespace krel_std_internal {
class SemaphorePimpl;
} // namespace krel_std_internal

namespace krel_std {

// A counting semaphore that is also an auto-reset Waitable: every increment signals it once, so
// a Concurrency wait notices increments. The signal does not take a unit: a thread released by
// such a wait still calls decrement or tryDecrement.
class Semaphore : public Waitable {
public:
    // A negative initial value counts as 0. Throws KrelIllegalArgumentException above the
    // largest value a semaphore can hold.
    explicit Semaphore(long initialValue = 0);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    ~Semaphore() override;

    // "Semaphore{value=2}".
    std::wstring toString() const override;

    int getValue() const;
    // Takes one unit without waiting; false when none is available.
    bool tryDecrement();
    void increment();
    // Waits until a unit is available and takes it.
    void decrement();

    // increment() and decrement() with every exception swallowed.
    void operator++(int);
    void operator--(int);

private:
    boost::shared_ptr<krel_std_internal::SemaphorePimpl> pimpl;
};

} // namespace krel_std
