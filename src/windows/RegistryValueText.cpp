#include "windows/RegistryValueText.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/Utf16.h"

namespace krel_std_internal {

namespace {

// Attempts before a value that keeps growing between the size query and the read is given up.
const int READ_ATTEMPTS = 4;

// The units before the first NUL, or all of them. Four units are tested together as one 64-bit
// word, which holds a zero unit exactly when subtracting one from every lane borrows into a
// lane whose top bit was clear; the unit itself is found within the first such word.
size_t unitsBeforeNul(const char16_t* units, size_t length) {
    constexpr uint64_t laneOnes = 0x0001000100010001u;
    constexpr uint64_t laneHighBits = 0x8000800080008000u;
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        uint64_t word;
        std::memcpy(&word, units + i, sizeof word);
        if (((word - laneOnes) & ~word & laneHighBits) != 0) {
            break;
        }
    }
    while (i < length && units[i] != u'\0') {
        ++i;
    }
    return i;
}

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
    text = krel_platform::utf16ToWide(units, unitsBeforeNul(units, length));
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
