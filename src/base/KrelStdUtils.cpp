#include "base/KrelStdUtils.h"

#include <new>

#include "platform/VaListGuard.h"
#include "platform/WinCrt.h"

namespace KrelStd {

SWString sprintfString(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    SWString text;
    try {
        sprintfStringAppendVA(text, args, format);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return text;
}

SWString sprintfStringVA(va_list args, const wchar_t* format) {
    SWString text;
    sprintfStringAppendVA(text, args, format);
    return text;
}

void sprintfStringAppend(SWString& text, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    sprintfStringAppendVA(text, args, format);
}

// The formatter makes the whole text before it touches the string, so the string changes only
// when the formatting succeeded. Exceptions other than exhausted memory (a translated fault
// from a bad argument) pass on.
void sprintfStringAppendVA(SWString& text, va_list args, const wchar_t* format) {
    try {
        krel_platform::formatAppendV(text, format, args);
    } catch (const std::bad_alloc&) {
        return;
    }
}

} // namespace KrelStd
