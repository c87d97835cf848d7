// Code page conversion calls of the Windows API: the ANSI code page is Windows-1252 through
// our own exact table, other code pages go through iconv.
#pragma once

#include "platform/WinError.h"
#include "platform/WinTypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

// The ANSI code page: 1252.
UINT GetACP();
// The OEM code page: 437.
UINT GetOEMCP();
BOOL IsValidCodePage(UINT codePage);

// Wide counts are in wchar_t elements (one per code point). A count of -1 takes the input
// up to and including its terminating zero. A room of 0 answers the size needed.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteStr, int multiByteCount,
                        LPWSTR wideCharStr, int wideCharCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideCharStr, int wideCharCount,
                        LPSTR multiByteStr, int multiByteCount, LPCSTR defaultChar,
                        BOOL* usedDefaultChar);
