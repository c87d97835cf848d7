// Paths of the modules that the version tests read: the library, the test program itself
// (which has no version record) and the helper module with a full record.
#pragma once

#include <dlfcn.h>
#include <string>
#include <unistd.h>

#include "platform/Utf16.h"

namespace krel_test {

inline std::wstring selfPath() {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return krel_platform::utf8ToWide(std::string(buffer, length > 0 ? size_t(length) : 0));
}

// The file that holds the given symbol of a loaded module.
inline std::wstring moduleOf(const void* symbol) {
    Dl_info info = {};
    if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) {
        return std::wstring();
    }
    return krel_platform::utf8ToWide(info.dli_fname);
}

inline std::wstring versionedModulePath() {
    const std::wstring self = selfPath();
    return self.substr(0, self.find_last_of(L'/')) + L"/helpers/libkrel_versioned_module.so";
}

} // namespace krel_test
