// AtomicCounter, the shared body of AtomicInteger and AtomicLong.
#pragma once

#include <string>
#include <type_traits>

#include "base/Object.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

// The shared body of AtomicInteger and AtomicLong: a value whose every operation runs under the
// counter's own Lock. Arithmetic wraps around in the value's type (it is done in the matching
// unsigned type, so a signed value never overflows).
template <typename T> class AtomicCounter : public Object {
public:
    T get() {
        AutoLock<Lock> guard(lock);
        return value;
    }

    void set(T newValue) {
        AutoLock<Lock> guard(lock);
        value = newValue;
    }

    T addAndGet(T delta) { return wrappingSum(exchangeAdd(delta), delta); }
    T getAndAdd(T delta) { return exchangeAdd(delta); }
    T incrementAndGet() { return addAndGet(T(1)); }
    T decrementAndGet() { return addAndGet(minusOne()); }
    T getAndIncrement() { return exchangeAdd(T(1)); }
    T getAndDecrement() { return exchangeAdd(minusOne()); }

    T getAndSet(T newValue) {
        AutoLock<Lock> guard(lock);
        T old = value;
        value = newValue;
        return old;
    }

    bool compareAndSet(T expected, T newValue) {
        AutoLock<Lock> guard(lock);
        if (value != expected) {
            return false;
        }
        value = newValue;
        return true;
    }

protected:
    explicit AtomicCounter(T initial) : value(initial) {}

    // "<className>{value=<value>}".
    std::wstring describe(const wchar_t* className) const {
        AutoLock<Lock> guard(lock);
        return className + (L"{value=" + std::to_wstring(value) + L"}");
    }

private:
    typedef typename std::make_unsigned<T>::type Unsigned;

    static T wrappingSum(T a, T b) {
        return static_cast<T>(static_cast<Unsigned>(a) + static_cast<Unsigned>(b));
    }

    // -1 of a signed type, the largest value of an unsigned one: adding it subtracts 1.
    static T minusOne() { return static_cast<T>(~Unsigned(0)); }

    // Adds with wrap-around and answers the old value.
    T exchangeAdd(T delta) {
        AutoLock<Lock> guard(lock);
        T old = value;
        value = wrappingSum(value, delta);
        return old;
    }

    mutable Lock lock;
    T value;
};

} // namespace krel_std
