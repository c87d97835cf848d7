#pragma once

#include <string>

namespace krel_platform {

// Code page 0 of the stand-in: the exact Windows-1252 table, including the five bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) that Windows passes through as U+0081, U+008D, ...

// The character a Windows-1252 byte stands for.
wchar_t windows1252ToWide(unsigned char byte);

// The byte that stands for the character; false when the code page has none.
bool tryWideToWindows1252(wchar_t character, unsigned char& byte);

// The byte that stands for the character, or the default byte when the code page has none.
unsigned char wideToWindows1252(wchar_t character, unsigned char defaultByte);

// Whole texts: every byte decodes; characters without a byte become the default byte.
std::wstring windows1252ToWideString(const std::string& bytes);
std::string wideToWindows1252String(const std::wstring& text, unsigned char defaultByte = '?');

} // namespace krel_platform
