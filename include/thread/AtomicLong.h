// AtomicLong, an unsigned 64-bit counter under its own lock.
#pragma once

#include <cstdint>

#include "thread/AtomicCounter.h"

namespace krel_std {

// An unsigned 64-bit counter whose every operation runs under its own Lock; arithmetic wraps.
class AtomicLong : public AtomicCounter<uint64_t> {
public:
    AtomicLong();
    explicit AtomicLong(uint64_t value);
    ~AtomicLong() override;

    // "AtomicLong{value=7}".
    std::wstring toString() const override;
};

} // namespace krel_std
