#include "thread/AtomicLong.h"

namespace krel_std {

AtomicLong::AtomicLong() : AtomicCounter<uint64_t>(0) {}

AtomicLong::AtomicLong(uint64_t value) : AtomicCounter<uint64_t>(value) {}

AtomicLong::~AtomicLong() {}

std::wstring AtomicLong::toString() const {
    return describe(L"AtomicLong");
}

} // namespace krel_std
