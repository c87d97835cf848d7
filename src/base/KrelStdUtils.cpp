#include "base/KrelStdUtils.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <wctype.h>

#include "file/RawPathSeparator.h"
#include "platform/UnicodeLocale.h"
#include "platform/VaListGuard.h"
#include "platform/WinBase.h"
#include "platform/WinCrt.h"

namespace KrelStd {

namespace {

// White space of the ANSI code page (single-byte, so no character spans two bytes): the
// blank and the controls from tab to carriage return.
bool isAnsiSpace(char character) {
    return character == ' ' || (character >= '\t' && character <= '\r');
}

bool isUnicode(int (*test)(wint_t, locale_t), wchar_t character) {
    return test(static_cast<wint_t>(character), krel_platform::unicodeLocale()) != 0;
}

bool isOptionStart(const wchar_t* argument) {
    return argument[0] == L'-' || argument[0] == L'/';
}

// The command-line index of GetOption. Saturates instead of overflowing on endless calls.
int optionIndex = 1;

void advanceOption(int count) {
    optionIndex = optionIndex > INT_MAX - count ? INT_MAX : optionIndex + count;
}

// The process-wide directory settings, made on first use and never destroyed.
SFilePath& krelDir() {
    static SFilePath& dir = *new SFilePath(std::wstring(L".."), SFilePath::DefaultSeparator);
    return dir;
}

SWString& appSubDir() {
    static SWString& dir = *new SWString();
    return dir;
}

// A raw path text taken apart at the later of its separators.
SFilePath rawPath(const wchar_t* path) {
    const std::wstring text(path != nullptr ? path : L"");
    return SFilePath(text, krel_std_internal::rawPathSeparator(text));
}

SWString directoryOf(const wchar_t* path) {
    return rawPath(path).Dirname();
}

SWString baseOf(const wchar_t* path) {
    return rawPath(path).Basename(L"");
}

void copyNarrow(char* out, const SWString& text) {
    if (out != nullptr) {
        std::strcpy(out, text.mb_str(0));
    }
}

void copyWide(wchar_t* out, const SWString& text) {
    if (out != nullptr) {
        std::wcscpy(out, text.c_str());
    }
}

} // namespace

void TrimString(char* text) {
    if (text == nullptr) {
        return;
    }
    std::size_t end = std::strlen(text);
    while (end > 0 && isAnsiSpace(text[end - 1])) {
        --end;
    }
    text[end] = '\0';
}

void TrimString(wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    std::size_t end = std::wcslen(text);
    while (end > 0 && krel_platform::isUnicodeSpace(text[end - 1])) {
        --end;
    }
    text[end] = L'\0';
}

void TrimString(SWString& text) {
    text.TrimString();
}

int GetOption(int argc, wchar_t** argv, wchar_t* optstring, wchar_t** optarg) {
    wchar_t* ignored = nullptr;
    wchar_t*& value = optarg != nullptr ? *optarg : ignored;
    if (optionIndex >= argc || argv == nullptr || argv[optionIndex] == nullptr) {
        value = nullptr;
        advanceOption(1);
        return 0;
    }
    wchar_t* argument = argv[optionIndex];
    if (!isOptionStart(argument)) {
        value = argument;
        advanceOption(1);
        return 1;
    }
    const wchar_t option = argument[1];
    const wchar_t* listed = optstring != nullptr ? std::wcschr(optstring, option) : nullptr;
    if (!(isUnicode(iswalnum_l, option) || isUnicode(iswpunct_l, option)) || listed == nullptr) {
        value = argument;
        advanceOption(1);
        return 0xFFFF;
    }
    if (listed[1] != L':') {
        value = nullptr;
        advanceOption(1);
        return option;
    }
    if (argument[2] != L'\0') {
        value = argument + 2;
        advanceOption(1);
    } else if (optionIndex + 1 < argc && argv[optionIndex + 1] != nullptr &&
               !isOptionStart(argv[optionIndex + 1])) {
        value = argv[optionIndex + 1];
        advanceOption(2);
    } else {
        value = nullptr;
        advanceOption(1);
    }
    return option;
}

void SetKrelDir(const SFilePath& dir) {
    krelDir() = dir;
}

SFilePath GetKrelDir() {
    return krelDir();
}

void SetAppSubDir(const SWString& dir) {
    appSubDir() = dir;
}

SWString GetAppSubDir() {
    return appSubDir();
}

void DirName(char* out, const char* path) {
    copyNarrow(out, directoryOf(SWString(path, CT_ANSI, 0).c_str()));
}

void DirName(wchar_t* out, const wchar_t* path) {
    copyWide(out, directoryOf(path));
}

void BaseName(char* out, const char* path) {
    copyNarrow(out, baseOf(SWString(path, CT_ANSI, 0).c_str()));
}

void BaseName(wchar_t* out, const wchar_t* path) {
    copyWide(out, baseOf(path));
}

SWString sprintfString(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    return sprintfStringVA(args, format);
}

SWString sprintfString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    return sprintfStringVA(args, format);
}

SWString sprintfStringVA(va_list args, const wchar_t* format) {
    SWString text;
    sprintfStringAppendVA(text, args, format);
    return text;
}

SWString sprintfStringVA(va_list args, const char* format) {
    SWString text;
    sprintfStringAppendVA(text, args, format);
    return text;
}

void sprintfStringAppend(SWString& text, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    sprintfStringAppendVA(text, args, format);
}

void sprintfStringAppend(SWString& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    sprintfStringAppendVA(text, args, format);
}

// The formatter makes the whole text before it touches the string, so the string changes only
// when the formatting succeeded. Exceptions other than exhausted memory (a translated fault
// from a bad argument) pass on.
void sprintfStringAppendVA(SWString& text, va_list args, const wchar_t* format) {
    try {
        krel_platform::formatAppendV(text, format, args);
    } catch (const std::bad_alloc&) {
        return;
    }
}

// The narrow text is made whole first and then converted up to its first zero character, as
// a terminated text from the runtime's formatter would be.
void sprintfStringAppendVA(SWString& text, va_list args, const char* format) {
    try {
        std::string narrow;
        if (krel_platform::formatAppendV(narrow, format, args)) {
            text.append(narrow.c_str(), 0);
        }
    } catch (const std::bad_alloc&) {
        return;
    }
}

int SWSfgets(SWString& line, FILE* stream) {
    line.clear();
    if (stream == nullptr) {
        return 0;
    }
    const std::size_t pieceSize = 255;
    char piece[pieceSize + 1];
    bool ended = false;
    do {
        std::size_t length = 0;
        while (length < pieceSize) {
            const int character = std::fgetc(stream);
            if (character == EOF) {
                ended = true;
                break;
            }
            piece[length++] = static_cast<char>(character);
            if (character == '\n') {
                ended = true;
                break;
            }
        }
        piece[length] = '\0';
        line.append(piece, 0);
    } while (!ended);
    return piece[0] != '\0' ? 1 : 0;
}

namespace {

const wchar_t* numberFormat(int base) {
    return base == 8 ? L"%o " : base == 16 ? L"%x " : L"%u ";
}

} // namespace

SWString BufferDump(const char* buffer, int length, int base) {
    const int count = buffer != nullptr ? length : 0;
    SWString dump;
    for (int i = 0; i < count; ++i) {
        sprintfStringAppend(dump, numberFormat(base),
                            static_cast<unsigned int>(static_cast<unsigned char>(buffer[i])));
    }
    dump += L'"';
    if (count < 1) {
        dump += L'"';
        return dump;
    }
    for (int i = 0; i < count; ++i) {
        const unsigned char byte = static_cast<unsigned char>(buffer[i]);
        // The runtime's "C" locale prints only the ASCII range.
        dump += byte >= 0x20 && byte < 0x7F ? static_cast<wchar_t>(byte) : L'.';
    }
    dump += L'"';
    return dump;
}

SWString BufferDump(const wchar_t* buffer, int length, int base) {
    const int count = buffer != nullptr ? length : 0;
    SWString dump;
    for (int i = 0; i < count; ++i) {
        sprintfStringAppend(dump, numberFormat(base), static_cast<unsigned int>(buffer[i]));
    }
    dump += L"  \"";
    if (count < 1) {
        dump += L'"';
        return dump;
    }
    for (int i = 0; i < count; ++i) {
        dump += isUnicode(iswprint_l, buffer[i]) ? buffer[i] : L'.';
    }
    dump += L'"';
    return dump;
}

SWString printErr(long code, const SWString& prefix) {
    SWString text(prefix);
    sprintfStringAppend(text, static_cast<unsigned long>(code) <= 9999 ? L"%04ld" : L"%ld", code);
    return text;
}

SWString printLastErr() {
    const DWORD error = GetLastError();
    try {
        LPWSTR message = nullptr;
        // Language 0: the neutral language.
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
        if (length == 0 || message == nullptr) {
            return SWString();
        }
        SWString text;
        try {
            text.assign(message, static_cast<unsigned int>(length));
        } catch (...) {
            LocalFree(message);
            throw;
        }
        LocalFree(message);
        return text.TrimString();
    } catch (const std::bad_alloc&) {
        return SWString(L"An unexpected error occurred.");
    }
}

SWString Num2Str(long value) {
    return sprintfString(L"%ld", value);
}

} // namespace KrelStd
