#include "platform/Utf8Encoding.h"

#include <cstdint>
#include <cstring>

namespace krel_platform {

namespace {

const uint32_t REPLACEMENT_CHARACTER = 0xFFFD;
// Characters taken together when they are all ASCII.
const size_t BLOCK = 8;
// The longest sequence of one character.
const size_t LONGEST_SEQUENCE = 4;

// Writes one character from U+0080 on, U+FFFD in place of one that cannot be encoded; the
// room is known to suffice.
template <Utf8Surrogates surrogates> char* putMultiByte(char* target, wchar_t character) {
    uint32_t value = static_cast<uint32_t>(character);
    if (value < 0x800) {
        target[0] = static_cast<char>(0xC0 | (value >> 6));
        target[1] = static_cast<char>(0x80 | (value & 0x3F));
        return target + 2;
    }
    if (!isUtf8Encodable(character, surrogates)) {
        value = REPLACEMENT_CHARACTER;
    }
    if (value < 0x10000) {
        target[0] = static_cast<char>(0xE0 | (value >> 12));
        target[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        target[2] = static_cast<char>(0x80 | (value & 0x3F));
        return target + 3;
    }
    target[0] = static_cast<char>(0xF0 | (value >> 18));
    target[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    target[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    target[3] = static_cast<char>(0x80 | (value & 0x3F));
    return target + 4;
}

template <Utf8Surrogates surrogates> char* putCharacter(char* target, wchar_t character) {
    if (static_cast<uint32_t>(character) < 0x80) {
        *target = static_cast<char>(character);
        return target + 1;
    }
    return putMultiByte<surrogates>(target, character);
}

// The bytes beyond the first that one character takes. A surrogate and U+FFFD both take
// three, so the length is the same whether surrogates are encoded or replaced; a value beyond
// U+10FFFF takes the three of U+FFFD.
uint32_t extraBytes(wchar_t character) {
    const uint32_t value = static_cast<uint32_t>(character);
    return static_cast<uint32_t>(value >= 0x80) + static_cast<uint32_t>(value >= 0x800) +
           static_cast<uint32_t>(value >= 0x10000) - static_cast<uint32_t>(value > 0x10FFFF);
}

size_t characterLength(wchar_t character) {
    return 1 + extraBytes(character);
}

// True when the block's characters are all below 0x80 (a negative wchar_t is not).
bool isAsciiBlock(const wchar_t* text) {
    uint32_t bits = 0;
    for (size_t i = 0; i < BLOCK; ++i) {
        bits |= static_cast<uint32_t>(text[i]);
    }
    return bits < 0x80;
}

template <Utf8Surrogates surrogates>
char* encode(const wchar_t*& text, const wchar_t* textEnd, char* target, char* targetEnd) {
    const wchar_t* next = text;
    // While a whole block fits even at four bytes a character, no room is checked.
    while (static_cast<size_t>(textEnd - next) >= BLOCK &&
           static_cast<size_t>(targetEnd - target) >= BLOCK * LONGEST_SEQUENCE) {
        if (isAsciiBlock(next)) {
            for (size_t i = 0; i < BLOCK; ++i) {
                target[i] = static_cast<char>(next[i]);
            }
            target += BLOCK;
        } else {
            for (size_t i = 0; i < BLOCK; ++i) {
                target = putCharacter<surrogates>(target, next[i]);
            }
        }
        next += BLOCK;
    }
    for (; next < textEnd; ++next) {
        if (static_cast<size_t>(targetEnd - target) < characterLength(*next)) {
            break;
        }
        target = putCharacter<surrogates>(target, *next);
    }
    text = next;
    return target;
}

// The continuation bytes that follow a lead byte, the bits the lead byte gives, and the least value
// that needs the form; a byte that cannot begin a form has no continuation bytes and no bits.
struct LeadByte {
    uint32_t continuations;
    uint32_t bits;
    uint32_t least;
};

LeadByte leadByte(unsigned char byte) {
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {1, byte & 0x1Fu, 0x80};
    }
    if (byte >= 0xE0 && byte <= 0xEF) {
        return {2, byte & 0x0Fu, 0x800};
    }
    if (byte >= 0xF0 && byte <= 0xF7) {
        return {3, byte & 0x07u, 0x10000};
    }
    if (byte >= 0xF8 && byte <= 0xFB) {
        return {4, byte & 0x03u, 0x200000};
    }
    if (byte >= 0xFC && byte <= 0xFD) {
        return {5, byte & 0x01u, 0x4000000};
    }
    return {0, 0, 0};
}

// Reads the multi-byte form at `next`; answers the bytes it takes, or 0 when it is invalid or
// truncated.
size_t readMultiByte(const unsigned char* next, const unsigned char* end, uint32_t& value) {
    const LeadByte lead = leadByte(*next);
    if (lead.continuations == 0 || static_cast<size_t>(end - next) <= lead.continuations) {
        return 0;
    }
    value = lead.bits;
    for (uint32_t i = 1; i <= lead.continuations; ++i) {
        if ((next[i] & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (next[i] & 0x3Fu);
    }
    if (value < lead.least || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    return lead.continuations + 1;
}

// True when the eight bytes at `next` are all ASCII.
bool isAsciiRun(const unsigned char* next) {
    uint64_t bytes;
    std::memcpy(&bytes, next, sizeof(bytes));
    return (bytes & 0x8080808080808080u) == 0;
}

} // namespace

Utf8Decoding decodeUtf8(const char* bytes, size_t count, wchar_t* target, size_t room,
                        bool strict) {
    const unsigned char* next = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* const end = next + count;
    size_t length = 0;
    while (next < end) {
        if (end - next >= 8 && isAsciiRun(next)) {
            if (length + 8 <= room) {
                for (size_t i = 0; i < 8; ++i) {
                    target[length + i] = static_cast<wchar_t>(next[i]);
                }
            } else {
                for (size_t i = 0; length + i < room; ++i) {
                    target[length + i] = static_cast<wchar_t>(next[i]);
                }
            }
            next += 8;
            length += 8;
            continue;
        }
        uint32_t value = *next;
        size_t taken = 1;
        if (value >= 0x80) {
            taken = readMultiByte(next, end, value);
            if (taken == 0 || value > 0x10FFFF) {
                if (strict) {
                    return {length, true};
                }
                taken = taken == 0 ? 1 : taken;
                value = REPLACEMENT_CHARACTER;
            }
        }
        if (length < room) {
            target[length] = static_cast<wchar_t>(value);
        }
        ++length;
        next += taken;
    }
    return {length, false};
}

// Counted in runs whose 32-bit sums cannot overflow, which lets the compiler keep them in
// vector registers.
size_t utf8Length(const wchar_t* text, size_t count) {
    const size_t RUN = 1 << 16;
    size_t length = count;
    for (size_t start = 0; start < count; start += RUN) {
        const size_t end = count - start < RUN ? count : start + RUN;
        uint32_t extra = 0;
        for (size_t i = start; i < end; ++i) {
            extra += extraBytes(text[i]);
        }
        length += extra;
    }
    return length;
}

char* encodeUtf8(const wchar_t*& text, const wchar_t* textEnd, char* target, char* targetEnd,
                 Utf8Surrogates surrogates) {
    return surrogates == Utf8Surrogates::ENCODE
               ? encode<Utf8Surrogates::ENCODE>(text, textEnd, target, targetEnd)
               : encode<Utf8Surrogates::REPLACE>(text, textEnd, target, targetEnd);
}

} // namespace krel_platform
