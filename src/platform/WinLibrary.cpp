#include "platform/WinLibrary.h"

#include "platform/NativePath.h"
#include "platform/WinBase.h"

#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

using krel_platform::nativePath;

namespace {

// The loader reports failures as text only; these are the texts glibc's loader gives for the
// failures a caller must tell apart.
DWORD errorFromLoaderText(const char* text) {
    if (text == nullptr) {
        return ERROR_DLL_INIT_FAILED;
    }
    if (std::strstr(text, "No such file") != nullptr) {
        return ERROR_MOD_NOT_FOUND;
    }
    if (std::strstr(text, "Permission denied") != nullptr ||
        std::strstr(text, "Is a directory") != nullptr) {
        return ERROR_ACCESS_DENIED;
    }
    if (std::strstr(text, "undefined symbol") != nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    if (std::strstr(text, "ELF") != nullptr || std::strstr(text, "file too short") != nullptr) {
        return ERROR_BAD_EXE_FORMAT;
    }
    return ERROR_DLL_INIT_FAILED;
}

// A path with a separator names one file: its absence is known before the loader is asked.
bool namesMissingFile(const std::string& path) {
    return path.find('/') != std::string::npos && access(path.c_str(), F_OK) != 0;
}

} // namespace

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string path = nativePath(fileName);
    if (namesMissingFile(path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE);
    if (module == nullptr) {
        SetLastError(errorFromLoaderText(dlerror()));
        return nullptr;
    }
    return static_cast<HMODULE>(module);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (procName == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(module, procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
