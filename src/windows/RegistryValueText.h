#pragma once

#include <string>

#include "platform/WinReg.h"

namespace krel_std_internal {

// Reads a REG_SZ value of the open key in full, whatever its length: its size first, then its
// data. False when the value is missing, of another type or cannot be read.
bool readWholeText(HKEY key, const std::wstring& name, std::wstring& text);

// The bytes of text that KrelRegistry's text reads take: 258 UTF-16 units and a terminator.
constexpr DWORD kWrapperTextBytes = 518;

// Reads a REG_SZ value of the open key that fits in kWrapperTextBytes, as KrelRegistry's text
// read gives it (up to its first NUL), with no more than the one allocation of the text:
// ERROR_SUCCESS with the text; the query's error; or ERROR_INVALID_DATA for a value of another
// type. The name must hold no NUL.
LSTATUS readShortText(HKEY key, const std::wstring& name, std::wstring& text);

// A registry root as Windows prints a 32-bit handle: eight upper-case hexadecimal digits of
// its low 32 bits ("80000001").
std::wstring rootText(HKEY root);

} // namespace krel_std_internal
