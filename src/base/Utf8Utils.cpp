#include "base/Utf8Utils.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "platform/Utf8Encoding.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace krel_std {

namespace {

using krel_platform::Utf8Surrogates;

// The bits of a lead byte that carry the value, by the length of its sequence.
const unsigned char LEAD_MASK[7] = {0x00, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};

const uint32_t MAX_CODE_POINT = 0x10FFFF;

// Bytes read together while they are all ASCII.
const size_t WORD = 8;
const uint64_t ASCII_HIGH_BITS = 0x8080808080808080ull;

// Characters decoded at a time.
const size_t DECODE_BLOCK = 2048;

// The index that stands for "no decoded zero".
const size_t NO_ZERO = SIZE_MAX;

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

bool isHighSurrogate(uint32_t value) {
    return value >= 0xD800 && value <= 0xDBFF;
}

bool isLowSurrogate(uint32_t value) {
    return value >= 0xDC00 && value <= 0xDFFF;
}

// How many of the WORD bytes at `source` lead the word as ASCII (WORD when all of them do).
size_t asciiPrefix(const char* source) {
    uint64_t word = 0;
    std::memcpy(&word, source, WORD);
    const uint64_t high = word & ASCII_HIGH_BITS;
    if (high == 0) {
        return WORD;
    }
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return static_cast<size_t>(__builtin_ctzll(high)) / 8;
#else
    return static_cast<size_t>(__builtin_clzll(high)) / 8;
#endif
}

// Widens a whole word of bytes; only its ASCII prefix is kept by the caller.
void widenWord(wchar_t* target, const char* source) {
#if defined(__SSE2__)
    static_assert(sizeof(wchar_t) == 4, "a character is widened to 32 bits");
    const __m128i zero = _mm_setzero_si128();
    const __m128i halves =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source)), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target), _mm_unpacklo_epi16(halves, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 4), _mm_unpackhi_epi16(halves, zero));
#else
    for (size_t i = 0; i < WORD; ++i) {
        target[i] = static_cast<unsigned char>(source[i]);
    }
#endif
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
    const wchar_t* units = text.c_str();
    return 1 + static_cast<unsigned long>(krel_platform::utf8Length(units, std::wcslen(units)));
}

unsigned long Utf8Utils::getUnicodeStringLength(const std::string& bytes) {
    unsigned long length = 1;
    for (const char* source = bytes.c_str(); *source != 0; source = nextUtf8Char(source)) {
        ++length;
    }
    return length;
}

int Utf8Utils::invalidUtf8(const char* source) {
    KREL_INTERNAL_DEBUG(L"krel_std::Utf8Utils::internalUtf8ToUnicode",
                        L"<%hs> value is not a valid UTF-8 string.", source);
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

// Whole words of ASCII are widened at once; every other sequence goes through the steps above.
long Utf8Utils::decodeText(wchar_t* target, const char*& source, const char* end, size_t room,
                           size_t& firstZero) {
    const size_t limit = target != nullptr ? room : SIZE_MAX;
    const char* next = source;
    size_t count = 0;
    while (next < end) {
        if (static_cast<size_t>(end - next) >= WORD && limit - count >= WORD) {
            const size_t ascii = asciiPrefix(next);
            if (target != nullptr) {
                widenWord(target + count, next);
            }
            next += ascii;
            count += ascii;
            if (ascii == WORD) {
                continue;
            }
        }
        if (count >= limit) {
            break;
        }
        wchar_t value = static_cast<unsigned char>(*next);
        int taken = 1;
        if (value >= 0x80) {
            const int sequence = getUtf8CharLength(next);
            taken = sequence >= 2 && sequence <= 4 ? decodeSequence(next, sequence, value) : -1;
            if (taken < 0) {
                return invalidUtf8(next);
            }
            if (sequence == 3) {
                taken += joinSurrogates(next + 3, value);
            }
            if (value == 0 && firstZero == NO_ZERO) {
                firstZero = count;
            }
        }
        if (target != nullptr) {
            target[count] = value;
        }
        ++count;
        next += taken;
    }
    source = next;
    return static_cast<long>(count);
}

// The text is reserved for the worst case (a character for each byte) and grown a block at a
// time, so only a block at a time is zero-filled before the decoder writes over it.
std::wstring Utf8Utils::utf8ToUnicode(std::string bytes) {
    const char* next = bytes.c_str();
    const char* const end = next + std::strlen(next);
    std::wstring text;
    text.reserve(static_cast<size_t>(end - next));
    size_t firstZero = NO_ZERO;
    long result = 0;
    while (next < end && result >= 0) {
        const size_t start = text.size();
        text.resize(start + std::min(DECODE_BLOCK, static_cast<size_t>(end - next)));
        size_t zeroInBlock = NO_ZERO;
        result = decodeText(&text[start], next, end, text.size() - start, zeroInBlock);
        if (result >= 0) {
            text.resize(start + static_cast<size_t>(result));
            if (firstZero == NO_ZERO && zeroInBlock != NO_ZERO) {
                firstZero = start + zeroInBlock;
            }
        }
    }
    if (result < 0) {
        // Traces the failure as the common range check does.
        ErrorUtils::isBelowMinimum(result, 0L, L"krel_std::Utf8Utils::utf8ToUnicode",
                                   L"Converted string length");
        return std::wstring();
    }
    // The text ends at its first zero character.
    text.resize(std::min(text.size(), firstZero));
    return text;
}

std::string Utf8Utils::unicodeToUtf8(const std::wstring& text) {
    const wchar_t* units = text.c_str();
    const wchar_t* const end = units + std::wcslen(units);
    std::string bytes(krel_platform::utf8Length(units, static_cast<size_t>(end - units)), '\0');
    krel_platform::encodeUtf8(units, end, &bytes[0], &bytes[0] + bytes.size(),
                              Utf8Surrogates::ENCODE);
    return bytes;
}

bool Utf8Utils::isUtf8String(const std::string& bytes) {
    const char* source = bytes.c_str();
    size_t firstZero = NO_ZERO;
    return decodeText(nullptr, source, source + std::strlen(source), 0, firstZero) >= 0;
}

} // namespace krel_std
