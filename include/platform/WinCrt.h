// C runtime stand-ins: the counted printf family with the Windows runtime's rules.
//
// In wide formats %s, %ls, %ws and %c take wide arguments and %S, %hs and %C narrow ones; in
// narrow formats it is the other way round. Narrow text is Windows-1252 (code page 0). %I64d,
// %I32d, %I64u and %I64x are accepted, %p prints the pointer as upper-case hexadecimal with at
// least eight digits, and %n is refused. A format that cannot be handled makes the functions
// answer -1 with errno set to EINVAL, and so does a text longer than INT_MAX characters.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

// Formats into buffer, which holds count characters. Answers the length of the text when it
// fits (the terminator is written only when there is room for it); -1 when the text is longer
// than count (the first count characters are written) or the format is refused (the text made
// before the refusal may have been written). With a null buffer and a count of 0 answers the
// length the text needs. Text beyond count is counted, never made, so a huge width costs no
// memory. Memory running out answers -1 with errno set to ENOMEM.
int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list arguments);
int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...);
int _vsnprintf(char* buffer, size_t count, const char* format, va_list arguments);
int _snprintf(char* buffer, size_t count, const char* format, ...);

// The process's handler of the runtime's invalid-parameter reports: the expression, function
// and file name (each may be null), the line and a reserved word. A handler does not return;
// the library's throws. None is set at start.
typedef void (*_invalid_parameter_handler)(const wchar_t* expression, const wchar_t* function,
                                           const wchar_t* file, unsigned int line,
                                           uintptr_t reserved);

// Sets the handler for the whole process and answers the one it replaces.
_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler);
_invalid_parameter_handler _get_invalid_parameter_handler();

namespace krel_platform {

// Appends the formatted text to target. Answers false, leaving target unchanged, when the
// format is refused or the text would be longer than INT_MAX characters. The argument list is
// copied, never consumed. May throw std::bad_alloc, leaving target unchanged.
bool formatAppendV(std::wstring& target, const wchar_t* format, va_list arguments);
bool formatAppendV(std::string& target, const char* format, va_list arguments);

} // namespace krel_platform
