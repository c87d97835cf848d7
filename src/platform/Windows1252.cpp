#include "platform/Windows1252.h"

namespace krel_platform {

namespace {

// Bytes 0x80..0x9F; every other byte stands for the character of the same value.
const wchar_t UPPER_CONTROL_RANGE[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isInUpperControlRange(wchar_t character) {
    return character >= 0x80 && character <= 0x9F;
}

} // namespace

wchar_t windows1252ToWide(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return UPPER_CONTROL_RANGE[byte - 0x80];
    }
    return static_cast<wchar_t>(byte);
}

bool tryWideToWindows1252(wchar_t character, unsigned char& byte) {
    if (character >= 0 && character <= 0xFF && !isInUpperControlRange(character)) {
        byte = static_cast<unsigned char>(character);
        return true;
    }
    for (int index = 0; index < 32; ++index) {
        if (UPPER_CONTROL_RANGE[index] == character) {
            byte = static_cast<unsigned char>(0x80 + index);
            return true;
        }
    }
    return false;
}

unsigned char wideToWindows1252(wchar_t character, unsigned char defaultByte) {
    unsigned char byte = defaultByte;
    return tryWideToWindows1252(character, byte) ? byte : defaultByte;
}

std::wstring windows1252ToWideString(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        text.push_back(windows1252ToWide(static_cast<unsigned char>(byte)));
    }
    return text;
}

std::string wideToWindows1252String(const std::wstring& text, unsigned char defaultByte) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t character : text) {
        bytes.push_back(static_cast<char>(wideToWindows1252(character, defaultByte)));
    }
    return bytes;
}

} // namespace krel_platform
