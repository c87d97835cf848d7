// The core of the Windows API stand-in: per-thread last error, debugger output, thread and
// process identity, clocks and system message texts.
#pragma once

#include <cstdarg>

#include "platform/WinError.h"
#include "platform/WinTypes.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

// The calling thread's last error code.
DWORD GetLastError();
void SetLastError(DWORD errorCode);

// Debugger output: silent unless KREL_DEBUG_OUTPUT names "stderr" or a file, or a test hook
// is installed (see platform/DebugOutput.h). Text is written as UTF-8.
void OutputDebugStringW(LPCWSTR text);
void OutputDebugStringA(LPCSTR text);

// The operating system's id of the calling thread and process.
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

void Sleep(DWORD milliseconds);

// The local date and time, to the millisecond.
void GetLocalTime(SYSTEMTIME* systemTime);

// Milliseconds since an arbitrary fixed point (monotonic); the 32-bit form wraps.
DWORD GetTickCount();
ULONGLONG GetTickCount64();

// System message texts from the stand-in's own table of Windows texts.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);
HLOCAL LocalFree(HLOCAL memory);
