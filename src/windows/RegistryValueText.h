#pragma once

#include <string>

#include "platform/WinReg.h"

namespace krel_std_internal {

// Reads a REG_SZ value of the open key in full, whatever its length: its size first, then its
// data. False when the value is missing, of another type or cannot be read.
bool readWholeText(HKEY key, const std::wstring& name, std::wstring& text);

// A registry root as Windows prints a 32-bit handle: eight upper-case hexadecimal digits of
// its low 32 bits ("80000001").
std::wstring rootText(HKEY root);

} // namespace krel_std_internal
