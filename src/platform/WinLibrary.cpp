#include "platform/WinLibrary.h"

#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <unistd.h>

#include "platform/NativePath.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

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

// The path of a module's file, in UTF-8; false when there is none.
bool moduleFilePath(HMODULE module, std::string& path) {
    if (module == nullptr) {
        char buffer[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
        if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer)) {
            return false;
        }
        path.assign(buffer, static_cast<size_t>(length));
        return true;
    }
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr ||
        *map->l_name == '\0') {
        return false;
    }
    path = map->l_name;
    return true;
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

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path;
    if (!moduleFilePath(module, path)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const std::wstring wide = krel_platform::utf8ToWide(path);
    if (wide.size() >= size) {
        wide.copy(fileName, size - 1);
        fileName[size - 1] = L'\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    wide.copy(fileName, wide.size());
    fileName[wide.size()] = L'\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}
