// AtomicInteger, a signed 32-bit counter under its own lock.
#pragma once

#include "thread/AtomicCounter.h"

namespace krel_std {

// A signed 32-bit counter whose every operation runs under its own Lock; arithmetic wraps.
class AtomicInteger : public AtomicCounter<int> {
public:
    AtomicInteger();
    explicit AtomicInteger(int value);
    ~AtomicInteger() override;

    // "AtomicInteger{value=5}".
    std::wstring toString() const override;
};

} // namespace krel_std
