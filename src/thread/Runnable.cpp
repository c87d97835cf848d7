#include "thread/Runnable.h"

namespace krel_std {

Runnable::~Runnable() {}

std::wstring Runnable::toString() const {
    return L"Runnable{}";
}

} // namespace krel_std
