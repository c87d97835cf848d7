#include "thread/AtomicInteger.h"

namespace krel_std {

AtomicInteger::AtomicInteger() : AtomicCounter<int>(0) {}

AtomicInteger::AtomicInteger(int value) : AtomicCounter<int>(value) {}

AtomicInteger::~AtomicInteger() {}

std::wstring AtomicInteger::toString() const {
    return describe(L"AtomicInteger");
}

} // namespace krel_std
