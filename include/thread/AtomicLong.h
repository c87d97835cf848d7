#pragma once

#include "base/Object.h"
#include "thread/Lock.h"

#include <cstdint>

namespace krel_std {

// An unsigned 64-bit counter whose every operation runs under its own Lock; arithmetic wraps.
class AtomicLong : public Object {
public:
    AtomicLong();
    explicit AtomicLong(uint64_t value);
    ~AtomicLong() override;

    // "AtomicLong{value=7}".
    std::wstring toString() const override;

    uint64_t get();
    void set(uint64_t newValue);
    uint64_t addAndGet(uint64_t delta);
    uint64_t getAndAdd(uint64_t delta);
    uint64_t incrementAndGet();
    uint64_t decrementAndGet();
    uint64_t getAndIncrement();
    uint64_t getAndDecrement();
    uint64_t getAndSet(uint64_t newValue);
    bool compareAndSet(uint64_t expected, uint64_t newValue);

private:
    // Adds with wrap-around and answers the old value.
    uint64_t exchangeAdd(uint64_t delta);

    mutable Lock lock;
    uint64_t value;
};

} // namespace krel_std
