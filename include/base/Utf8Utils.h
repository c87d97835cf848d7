// A self-contained UTF-8 codec between bytes and wide text (one wchar_t per code point).
#pragma once

#include <cstddef>
#include <string>

namespace krel_std {

// Decoding accepts sequences of one to three bytes and four-byte sequences of U+10000 to
// U+10FFFF, joins a three-byte high surrogate followed by a three-byte low surrogate into one
// character, passes other encoded surrogates and shorter overlong forms through as they
// decode, and rejects stray continuation bytes, truncated sequences and five- and six-byte
// leads. Input is taken up to its first zero.
class Utf8Utils {
public:
    Utf8Utils(const Utf8Utils&) {}
    Utf8Utils& operator=(const Utf8Utils&) { return *this; }
    virtual ~Utf8Utils();

    // The decoded text; empty text when the bytes are not valid UTF-8.
    static std::wstring utf8ToUnicode(std::string bytes);
    // The encoded bytes, one to four per character; lone surrogates are encoded as they
    // stand, and a value beyond U+10FFFF becomes U+FFFD.
    static std::string unicodeToUtf8(const std::wstring& text);
    static bool isUtf8String(const std::string& bytes);
    // Bytes the encoding needs, terminating zero included.
    static unsigned long getUtf8StringLength(const std::wstring& text);
    // An upper bound of the wide characters the decoding needs, terminating zero included.
    static unsigned long getUnicodeStringLength(const std::string& bytes);

private:
    Utf8Utils() {}

    static int getUtf8CharLength(const char* lead);
    static const char* nextUtf8Char(const char* source);
    // Decodes from `source` up to `end` (no byte before it zero, a zero at it). With a target,
    // stops once `room` characters are stored; `source` is left after the bytes taken.
    // Answers the characters decoded, or -1 at the first invalid sequence; `firstZero` is the
    // index of the first decoded U+0000 (only an overlong form gives one), SIZE_MAX for none.
    static long decodeText(wchar_t* target, const char*& source, const char* end, size_t room,
                           size_t& firstZero);
    static int decodeSequence(const char* source, int length, wchar_t& value);
    static int joinSurrogates(const char* source, wchar_t& value);
    static int invalidUtf8(const char* source);
};

} // namespace krel_std
