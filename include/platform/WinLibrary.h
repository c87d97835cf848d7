// Dynamic libraries through the Windows API, implemented on Linux.
#pragma once

#include "platform/WinError.h"
#include "platform/WinTypes.h"

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif
#ifndef ERROR_DLL_INIT_FAILED
#define ERROR_DLL_INIT_FAILED 1114L
#endif

// The address of an exported symbol, as GetProcAddress answers it.
typedef void (*FARPROC)();

// Loads the shared library at the path (UTF-8 on the way to the loader; '\' separates too), or
// searches the loader's directories for a bare name. Every symbol is resolved at once, and the
// module is never unmapped, even after its last FreeLibrary: objects a module registered in the
// process (prototypes of the class registry, for example) may outlive its handle. Answers null
// and sets the last error on failure: ERROR_MOD_NOT_FOUND for a file (or a library it needs) that
// is missing, ERROR_ACCESS_DENIED for one that cannot be read, ERROR_BAD_EXE_FORMAT for a file
// that is not a loadable library, ERROR_PROC_NOT_FOUND for a symbol the library needs that no
// loaded module offers, ERROR_DLL_INIT_FAILED otherwise.
HMODULE LoadLibraryW(LPCWSTR fileName);

// The address of the exported symbol of that name; null with ERROR_PROC_NOT_FOUND when the
// module has none, ERROR_INVALID_HANDLE for a null module.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// Gives up one reference to the module. FALSE with ERROR_INVALID_HANDLE for a null module.
BOOL FreeLibrary(HMODULE module);

// The full path of the module's file: the running program's executable (the target of
// /proc/self/exe) for a null module, else the file a LoadLibraryW handle was loaded from.
// Answers the length copied without the terminator. A path longer than size - 1 characters is
// cut to them and terminated; the answer is then size, with ERROR_INSUFFICIENT_BUFFER. 0 on
// failure, with ERROR_INVALID_PARAMETER for a null buffer or a size of 0 and
// ERROR_INVALID_HANDLE for a module that is not loaded.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
