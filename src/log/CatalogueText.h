// The texts that a message catalogue built on LoggerBase passes with each of its messages.
#pragma once

#include <string>

#include "base/SWString.h"

namespace krel_std_internal {

// The code text: the message method's qualified name, `catalogue` ("krel_std::KrelLoggerSTD")
// and the message's number ("STD0000") joined by "::".
inline KrelStd::SWString catalogueCode(const wchar_t* catalogue, const wchar_t* number) {
    return KrelStd::SWString(std::wstring(catalogue) + L"::" + number);
}

// The caller's context; empty for none.
inline KrelStd::SWString catalogueContext(const wchar_t* context) {
    return KrelStd::SWString(context != nullptr ? context : L"");
}

} // namespace krel_std_internal
