#include "base/Utf8Utils.h"

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"

#include <cstdint>
#include <vector>

namespace krel_std {

namespace {

// The bits of a lead byte that carry the value, by the length of its sequence.
const unsigned char LEAD_MASK[7] = {0x00, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};

const uint32_t MAX_CODE_POINT = 0x10FFFF;
const uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

bool isHighSurrogate(uint32_t value) {
    return value >= 0xD800 && value <= 0xDBFF;
}

bool isLowSurrogate(uint32_t value) {
    return value >= 0xDC00 && value <= 0xDFFF;
}

// A wide character as a code point to encode: anything beyond Unicode becomes U+FFFD.
uint32_t encodableValue(wchar_t unit) {
    const uint32_t value = static_cast<uint32_t>(unit);
    return value > MAX_CODE_POINT ? REPLACEMENT_CHARACTER : value;
}

} // namespace

Utf8Utils::~Utf8Utils() {}

int Utf8Utils::getUtf8CharLength(const char* lead) {
    const unsigned char byte = static_cast<unsigned char>(*lead);
    if ((byte & 0x80) == 0) {
        return 1;
    }
    if ((byte & 0xE0) == 0xC0) {
        return 2;
    }
    if ((byte & 0xF0) == 0xE0) {
        return 3;
    }
    if ((byte & 0xF8) == 0xF0) {
        return 4;
    }
    if ((byte & 0xFC) == 0xF8) {
        return 5;
    }
    if ((byte & 0xFE) == 0xFC) {
        return 6;
    }
    return 0;
}

int Utf8Utils::getUtf8CharLength(wchar_t unit) {
    const uint32_t value = encodableValue(unit);
    if (value < 0x80) {
        return 1;
    }
    if (value < 0x800) {
        return 2;
    }
    return value < 0x10000 ? 3 : 4;
}

const char* Utf8Utils::nextUtf8Char(const char* source) {
    if ((static_cast<unsigned char>(*source) & 0x80) == 0) {
        return source + 1;
    }
    ++source;
    for (int i = 0; i < 5 && isContinuation(*source); ++i) {
        ++source;
    }
    return source;
}

unsigned long Utf8Utils::getUtf8StringLength(const std::wstring& text) {
    unsigned long length = 1;
    for (const wchar_t* unit = text.c_str(); *unit != 0; ++unit) {
        length += static_cast<unsigned long>(getUtf8CharLength(*unit));
    }
    return length;
}

unsigned long Utf8Utils::getUnicodeStringLength(const std::string& bytes) {
    unsigned long length = 1;
    for (const char* source = bytes.c_str(); *source != 0; source = nextUtf8Char(source)) {
        ++length;
    }
    return length;
}

int Utf8Utils::unicodeCharToUtf8(char* target, wchar_t unit, unsigned int room) {
    const int length = getUtf8CharLength(unit);
    if (room < static_cast<unsigned int>(length)) {
        return 0;
    }
    uint32_t value = encodableValue(unit);
    if (length == 1) {
        target[0] = static_cast<char>(value);
        return 1;
    }
    for (int i = length - 1; i > 0; --i) {
        target[i] = static_cast<char>(0x80 | (value & 0x3F));
        value >>= 6;
    }
    static const unsigned char leadBits[5] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
    target[0] = static_cast<char>(leadBits[length] | value);
    return length;
}

int Utf8Utils::internalUnicodeToUtf8(char* target, const wchar_t* source, unsigned int room) {
    unsigned int written = 0;
    for (const wchar_t* unit = source; unit != nullptr && *unit != 0; ++unit) {
        const int length = unicodeCharToUtf8(target + written, *unit, room - written);
        if (length == 0) {
            for (; written < room; ++written) {
                target[written] = 0;
            }
            return static_cast<int>(room);
        }
        written += static_cast<unsigned int>(length);
    }
    if (written < room) {
        target[written] = 0;
    }
    return static_cast<int>(written);
}

int Utf8Utils::invalidUtf8(const char* source) {
    if (__internal_debug_on()) {
        __internal_debug(L"krel_std::Utf8Utils::internalUtf8ToUnicode", KREL_SOURCE_FILE, __LINE__,
                         L"<%hs> value is not a valid UTF-8 string.", source);
    }
    return -1;
}

// Decodes one sequence of `length` bytes (2 to 4); answers its length, or -1 when a
// continuation byte is missing or a four-byte sequence does not hold a character from U+10000
// to U+10FFFF (so a surrogate pair can only come from two three-byte sequences).
int Utf8Utils::decodeSequence(const char* source, int length, wchar_t& value) {
    uint32_t decoded = static_cast<unsigned char>(source[0]) & LEAD_MASK[length];
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(source[i])) {
            return -1;
        }
        decoded = (decoded << 6) | (static_cast<unsigned char>(source[i]) & 0x3F);
    }
    if (length == 4 && (decoded < 0x10000 || decoded > MAX_CODE_POINT)) {
        return -1;
    }
    value = static_cast<wchar_t>(decoded);
    return length;
}

// After a three-byte high surrogate: when a three-byte low surrogate follows, joins the two
// into `value` and answers the bytes taken (3); otherwise 0 and `value` stays.
int Utf8Utils::joinSurrogates(const char* source, wchar_t& value) {
    wchar_t low = 0;
    if (!isHighSurrogate(static_cast<uint32_t>(value)) || getUtf8CharLength(source) != 3 ||
        decodeSequence(source, 3, low) < 0 || !isLowSurrogate(static_cast<uint32_t>(low))) {
        return 0;
    }
    const uint32_t high = static_cast<uint32_t>(value) - 0xD800;
    value = static_cast<wchar_t>(0x10000 + (high << 10) + (static_cast<uint32_t>(low) - 0xDC00));
    return 3;
}

int Utf8Utils::internalUtf8ToUnicode(wchar_t* target, const char* source, unsigned int room) {
    unsigned int count = 0;
    const char* next = source;
    while (next != nullptr && *next != 0) {
        if (target != nullptr && count >= room) {
            return static_cast<int>(count);
        }
        wchar_t value = static_cast<unsigned char>(*next);
        int taken = 1;
        if (value >= 0x80) {
            const int length = getUtf8CharLength(next);
            taken = length >= 2 && length <= 4 ? decodeSequence(next, length, value) : -1;
            if (taken < 0) {
                return invalidUtf8(next);
            }
            if (length == 3) {
                taken += joinSurrogates(next + 3, value);
            }
        }
        if (target != nullptr) {
            target[count] = value;
        }
        ++count;
        next += taken;
    }
    if (target != nullptr && count < room) {
        target[count] = 0;
    }
    return static_cast<int>(count);
}

std::wstring Utf8Utils::utf8ToUnicode(std::string bytes) {
    const unsigned int room = static_cast<unsigned int>(getUnicodeStringLength(bytes));
    std::vector<wchar_t> buffer(room, 0);
    const int result = internalUtf8ToUnicode(buffer.data(), bytes.c_str(), room);
    if (ErrorUtils::isBelowMinimum(result, 0, L"krel_std::Utf8Utils::utf8ToUnicode",
                                   L"Converted string length")) {
        return std::wstring();
    }
    return std::wstring(buffer.data());
}

std::string Utf8Utils::unicodeToUtf8(const std::wstring& text) {
    const unsigned int room = static_cast<unsigned int>(getUtf8StringLength(text));
    std::vector<char> buffer(room, 0);
    const int result = internalUnicodeToUtf8(buffer.data(), text.c_str(), room);
    if (ErrorUtils::isBelowMinimum(result, 0, L"krel_std::Utf8Utils::unicodeToUtf8",
                                   L"Converted string length")) {
        return std::string();
    }
    return std::string(buffer.data());
}

bool Utf8Utils::isUtf8String(const std::string& bytes) {
    return internalUtf8ToUnicode(nullptr, bytes.c_str(), 0) >= 0;
}

} // namespace krel_std
