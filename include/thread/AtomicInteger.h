#pragma once

#include "base/Object.h"
#include "thread/Lock.h"

namespace krel_std {

// A signed 32-bit counter whose every operation runs under its own Lock; arithmetic wraps.
class AtomicInteger : public Object {
public:
    AtomicInteger();
    explicit AtomicInteger(int value);
    ~AtomicInteger() override;

    // "AtomicInteger{value=5}".
    std::wstring toString() const override;

    int get();
    void set(int newValue);
    int addAndGet(int delta);
    int getAndAdd(int delta);
    int incrementAndGet();
    int decrementAndGet();
    int getAndIncrement();
    int getAndDecrement();
    int getAndSet(int newValue);
    bool compareAndSet(int expected, int newValue);

private:
    // Adds with wrap-around and answers the old value.
    int exchangeAdd(int delta);

    mutable Lock lock;
    int value;
};

} // namespace krel_std
