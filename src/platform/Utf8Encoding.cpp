#include "platform/Utf8Encoding.h"

#include <cstdint>

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

} // namespace

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
