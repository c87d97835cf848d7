// Conversions between the library's wide text (UTF-32 code points in std::wstring) and the
// encodings the outside world uses: UTF-16 (registry data, JNI, XML) and UTF-8 (paths, the OS).
#pragma once

#include <string>

namespace krel_platform {

// Joins surrogate pairs into one code point; a lone surrogate passes through unchanged.
std::wstring utf16ToWide(const std::u16string& text);
// The same for the `length` units at text.
std::wstring utf16ToWide(const char16_t* text, size_t length);

// Splits code points above U+FFFF into surrogate pairs; a lone surrogate passes through.
std::u16string wideToUtf16(const std::wstring& text);

// True when wideToUtf16 keeps each of the `length` characters as it is, so that utf16ToWide
// gives the same text back. False for a code point above U+10FFFF or a negative wchar_t (each
// would become U+FFFD, so that all of them alias it and one another) and for a high surrogate
// followed by a low one (which would come back as the one character the pair encodes).
bool isFaithfulInUtf16(const wchar_t* text, size_t length);

// UTF-8 for the OS: invalid code points (above U+10FFFF) become U+FFFD.
std::string wideToUtf8(const std::wstring& text);

// Decodes UTF-8 leniently: an invalid sequence becomes U+FFFD.
std::wstring utf8ToWide(const std::string& text);

} // namespace krel_platform
