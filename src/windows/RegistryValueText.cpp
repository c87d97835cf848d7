#include "windows/RegistryValueText.h"

#include <cstdint>
#include <cwchar>
#include <vector>

#include "platform/Utf16.h"

namespace krel_std_internal {

namespace {

// Attempts before a value that keeps growing between the size query and the read is given up.
const int READ_ATTEMPTS = 4;

} // namespace

bool readWholeText(HKEY key, const std::wstring& name, std::wstring& text) {
    for (int attempt = 0; attempt < READ_ATTEMPTS; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return false;
        }
        // Two spare units keep a terminator behind data stored without one.
        std::vector<char16_t> units(size / 2 + 2, u'\0');
        DWORD read = size;
        const LSTATUS code = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                              reinterpret_cast<LPBYTE>(units.data()), &read);
        if (code == ERROR_MORE_DATA) {
            continue;
        }
        if (code != ERROR_SUCCESS || type != REG_SZ) {
            return false;
        }
        text = krel_platform::utf16ToWide(std::u16string(units.data()));
        return true;
    }
    return false;
}

LSTATUS readShortText(HKEY key, const std::wstring& name, std::wstring& text) {
    char16_t units[kWrapperTextBytes / 2 + 1];
    DWORD type = REG_NONE;
    DWORD size = kWrapperTextBytes;
    const LSTATUS code =
        RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(units), &size);
    if (code != ERROR_SUCCESS) {
        return code;
    }
    if (type != REG_SZ) {
        return ERROR_INVALID_DATA;
    }
    size_t length = size / 2;
    if (size % 2 != 0) {
        // The odd last byte is a unit of its own whose high byte is zero.
        units[length] = reinterpret_cast<const unsigned char*>(units)[size - 1];
        ++length;
    }
    const char16_t* const end = std::char_traits<char16_t>::find(units, length, u'\0');
    text = krel_platform::utf16ToWide(units, end == nullptr ? length : end - units);
    return ERROR_SUCCESS;
}

std::wstring rootText(HKEY root) {
    wchar_t buffer[16];
    std::swprintf(
        buffer, sizeof buffer / sizeof buffer[0], L"%08X",
        static_cast<unsigned int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root))));
    return buffer;
}

} // namespace krel_std_internal
