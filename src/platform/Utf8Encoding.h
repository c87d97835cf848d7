// The UTF-8 encoder shared by the library's own codec, the code page calls of the stand-in and
// the UTF-8 bridge to the OS. All write every character from U+0000 to U+10FFFF in its one- to
// four-byte form and put U+FFFD in place of a value beyond U+10FFFF; they differ only on surrogate
// code points.
#pragma once

#include <cstddef>

namespace krel_platform {

// What becomes of a surrogate code point (U+D800 to U+DFFF) standing alone in wide text.
enum class Utf8Surrogates {
    // Encoded in three bytes like any other character.
    ENCODE,
    // Not a character: it becomes U+FFFD.
    REPLACE
};

// True when the character is written as it stands, false when U+FFFD takes its place.
inline bool isUtf8Encodable(wchar_t character, Utf8Surrogates surrogates) {
    const unsigned int value = static_cast<unsigned int>(character);
    return value <= 0x10FFFF &&
           (surrogates == Utf8Surrogates::ENCODE || value < 0xD800 || value > 0xDFFF);
}

// The bytes that `count` characters take (the same for either treatment of surrogates).
size_t utf8Length(const wchar_t* text, size_t count);

// Encodes the characters from `text` up to `textEnd` while each one fits whole before
// `targetEnd`. `text` is left on the first character not written; answers the end of the
// bytes written. No terminating zero is written.
char* encodeUtf8(const wchar_t*& text, const wchar_t* textEnd, char* target, char* targetEnd,
                 Utf8Surrogates surrogates);

} // namespace krel_platform

namespace krel_platform {

// What decodeUtf8 found: the characters the whole text takes, and whether it met a sequence that
// fails a strict decoding.
struct Utf8Decoding {
    size_t length;
    bool failed;
};

// Decodes UTF-8 as the code page calls of the stand-in read it: one- to four-byte forms, and the
// old five- and six-byte forms, each without overlong encodings or surrogates. A valid form of a
// value beyond U+10FFFF becomes one U+FFFD; an invalid or truncated sequence becomes U+FFFD and
// decoding goes on after its first byte. When `strict`, either of them fails the decoding at once.
// Writes the first `room` characters to `target` (null when `room` is 0) and goes on counting
// past it, so the answer is the length of the whole text.
Utf8Decoding decodeUtf8(const char* bytes, size_t count, wchar_t* target, size_t room, bool strict);

} // namespace krel_platform
