// Utility functions of the older KrelStd API. They report failures by their results and never
// throw exceptions of their own.
#pragma once

#include <cstdarg>

#include "base/SWString.h"

namespace KrelStd {

// A new string holding the formatted text (Windows runtime printf rules, see
// platform/WinCrt.h). A format that cannot be formatted gives the empty text.
SWString sprintfString(const wchar_t* format, ...);
SWString sprintfStringVA(va_list args, const wchar_t* format);

// Append the formatted text; the text is left as it was when the format cannot be formatted
// or memory runs out.
void sprintfStringAppend(SWString& text, const wchar_t* format, ...);
void sprintfStringAppendVA(SWString& text, va_list args, const wchar_t* format);

} // namespace KrelStd
