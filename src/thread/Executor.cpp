#include "thread/Executor.h"

namespace krel_std {

Executor::~Executor() {}

std::wstring Executor::toString() const {
    return L"Executor{}";
}

} // namespace krel_std
