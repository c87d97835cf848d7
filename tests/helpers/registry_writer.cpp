// Writes registry values without end for another process's tests, which kill it.
//
// Usage: krel_registry_writer <key below HKEY_CURRENT_USER>
// Sets the REG_DWORD value "v<i>" to i and the REG_SZ value "text" to a long text for i = 0,
// 1, 2, ... and writes "<i>\n" to stdout after each value's write has returned; stops with
// status 1 when a write fails.
#include "platform/Utf16.h"
#include "platform/WinReg.h"

#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    HKEY key = nullptr;
    const std::wstring path = krel_platform::utf8ToWide(argv[1]);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    const std::vector<BYTE> text(4000, 'x');
    for (DWORD i = 0;; ++i) {
        const BYTE number[4] = {static_cast<BYTE>(i), static_cast<BYTE>(i >> 8),
                                static_cast<BYTE>(i >> 16), static_cast<BYTE>(i >> 24)};
        const std::wstring name = L"v" + std::to_wstring(i);
        if (RegSetValueExW(key, L"text", 0, REG_BINARY, text.data(),
                           static_cast<DWORD>(text.size())) != ERROR_SUCCESS ||
            RegSetValueExW(key, name.c_str(), 0, REG_DWORD, number, 4) != ERROR_SUCCESS) {
            return 1;
        }
        const std::string line = std::to_string(i) + "\n";
        if (write(1, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return 1;
        }
    }
}
