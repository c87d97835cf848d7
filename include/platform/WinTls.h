// Thread-local storage of the Windows API stand-in: one slot per index in every thread.
#pragma once

#include "platform/WinError.h"
#include "platform/WinTypes.h"

#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu

// A new index (0 is a valid index), or TLS_OUT_OF_INDEXES (ERROR_NOT_ENOUGH_MEMORY).
DWORD TlsAlloc();
BOOL TlsFree(DWORD index);
// The calling thread's value (null when never set); sets the last error to ERROR_SUCCESS, so a
// stored null can be told from a failure (ERROR_INVALID_PARAMETER).
LPVOID TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, LPVOID value);
