#include "platform/Utf16.h"

#include <cstdint>
#include <cstring>

#include "platform/Utf8Encoding.h"

namespace krel_platform {

namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Length of the sequence a lead byte announces, 0 for a byte that cannot lead.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// The range the byte after a lead byte must fall in. Narrower than 0x80..0xBF after E0, F0 and
// F4: that keeps out overlong forms (E0 80 AF would decode to '/') and code points above
// U+10FFFF. Encoded surrogates stay readable, as wideToUtf8 writes lone ones that way.
bool isValidSecondByte(unsigned char lead, unsigned char second) {
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0) {
        low = 0xA0;
    } else if (lead == 0xF0) {
        low = 0x90;
    } else if (lead == 0xF4) {
        high = 0x8F;
    }
    return second >= low && second <= high;
}

// Four units are tested together as one 64-bit word: a lane is a surrogate when its top five
// bits are 11011, and the word holds one exactly when some lane, masked and compared to that,
// comes out zero.
constexpr uint64_t LANE_ONES = 0x0001000100010001u;
constexpr uint64_t LANE_HIGH_BITS = 0x8000800080008000u;
constexpr uint64_t SURROGATE_MASK = 0xF800F800F800F800u;
constexpr uint64_t SURROGATE_BITS = 0xD800D800D800D800u;

bool holdsSurrogate(const char16_t* units) {
    uint64_t word;
    std::memcpy(&word, units, sizeof word);
    const uint64_t lanes = (word & SURROGATE_MASK) ^ SURROGATE_BITS;
    return ((lanes - LANE_ONES) & ~lanes & LANE_HIGH_BITS) != 0;
}

} // namespace

std::wstring utf16ToWide(const std::u16string& text) {
    return utf16ToWide(text.data(), text.size());
}

// Sized once for the units and cut to the characters they make, so a text costs one allocation.
// Runs of four units without a surrogate are widened with one test; from the first run that
// holds one, units are widened one by one and pairs are joined.
std::wstring utf16ToWide(const char16_t* text, size_t length) {
    std::wstring out(length, L'\0');
    wchar_t* const start = &out[0];
    size_t i = 0;
    for (; i + 4 <= length && !holdsSurrogate(text + i); i += 4) {
        for (size_t j = i; j < i + 4; ++j) {
            start[j] = static_cast<wchar_t>(text[j]);
        }
    }
    for (; i < length && (text[i] & 0xF800) != 0xD800; ++i) {
        start[i] = static_cast<wchar_t>(text[i]);
    }
    if (i == length) {
        return out;
    }
    wchar_t* next = start + i;
    for (; i < length; ++i) {
        const char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < length && isLowSurrogate(text[i + 1])) {
            const char32_t low = text[++i];
            *next++ = static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        } else {
            *next++ = static_cast<wchar_t>(c);
        }
    }
    out.resize(static_cast<size_t>(next - start));
    return out;
}

std::u16string wideToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(w);
        if (c > 0x10FFFF) {
            c = REPLACEMENT_CHARACTER;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

bool isFaithfulInUtf16(const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const char32_t c = static_cast<char32_t>(text[i]);
        if (c > 0x10FFFF) {
            return false;
        }
        if (isHighSurrogate(c) && i + 1 < length &&
            isLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            return false;
        }
    }
    return true;
}

// Lone surrogates are encoded like any other character, so that they survive the way back.
std::string wideToUtf8(const std::wstring& text) {
    std::string out(utf8Length(text.data(), text.size()), '\0');
    const wchar_t* next = text.data();
    encodeUtf8(next, text.data() + text.size(), &out[0], &out[0] + out.size(),
               Utf8Surrogates::ENCODE);
    return out;
}

std::wstring utf8ToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = sequenceLength(lead);
        if (length == 0 || i + length > text.size()) {
            out += static_cast<wchar_t>(REPLACEMENT_CHARACTER);
            ++i;
            continue;
        }
        char32_t c = length == 1 ? lead : (lead & (0x7F >> length));
        bool valid = true;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80 || (k == 1 && !isValidSecondByte(lead, next))) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += static_cast<wchar_t>(REPLACEMENT_CHARACTER);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += length;
    }
    return out;
}

} // namespace krel_platform
