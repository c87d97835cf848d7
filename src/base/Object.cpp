#include "base/Object.h"

namespace krel_std {

Object::~Object() = default;

std::wstring Object::toString() const {
    return L"Object{}";
}

} // namespace krel_std
