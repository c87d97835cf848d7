// Code page conversions of the stand-in. The ANSI code page is Windows-1252 through our own
// exact table (iconv rejects five bytes that Windows passes through), and UTF-8 is read and
// written by the library's own codec, straight into the caller's room (iconv would write values
// beyond U+10FFFF as five- and six-byte sequences); every other conversion goes through iconv.
// Best-fit substitutions of Windows are not made: a character the code page cannot hold becomes the
// default character.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <iconv.h>
#include <string>

#include "platform/Utf8Encoding.h"
#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "platform/WinNls.h"
#include "platform/Windows1252.h"

namespace {

const UINT ANSI_CODE_PAGE = 1252;
const UINT OEM_CODE_PAGE = 437;
const char* const WIDE_CHARSET = "WCHAR_T";
const wchar_t REPLACEMENT_CHARACTER = 0xFFFD;

UINT resolveCodePage(UINT codePage) {
    switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP:
        return ANSI_CODE_PAGE;
    case CP_OEMCP:
        return OEM_CODE_PAGE;
    case CP_MACCP:
        return 10000;
    default:
        return codePage;
    }
}

bool isCpNamed(UINT codePage) {
    return codePage == 437 || codePage == 850 || codePage == 852 || codePage == 855 ||
           codePage == 857 || (codePage >= 860 && codePage <= 866) || codePage == 869 ||
           codePage == 874 || codePage == 932 || codePage == 936 || codePage == 949 ||
           codePage == 950 || (codePage >= 1250 && codePage <= 1258);
}

// The iconv name of a code page other than the ANSI one; empty for an unknown code page.
std::string iconvName(UINT codePage) {
    if (isCpNamed(codePage)) {
        return "CP" + std::to_string(codePage);
    }
    if (codePage >= 28591 && codePage <= 28605 && codePage != 28600 && codePage != 28601 &&
        codePage != 28602 && codePage != 28604) {
        return "ISO-8859-" + std::to_string(codePage - 28590);
    }
    switch (codePage) {
    case CP_UTF7:
        return "UTF-7";
    case 10000:
        return "MACINTOSH";
    case 20127:
        return "ASCII";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 51932:
        return "EUC-JP";
    case 51949:
        return "EUC-KR";
    case 54936:
        return "GB18030";
    default:
        return std::string();
    }
}

// An iconv descriptor closed when it goes out of scope.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (isOpen()) {
            iconv_close(handle);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool isOpen() const { return handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle; }

private:
    iconv_t handle;
};

// Runs one iconv step into a local block and appends what it wrote; answers the iconv result.
template <typename Out>
size_t convertStep(iconv_t handle, char** in, size_t* inLeft, std::basic_string<Out>& out) {
    Out block[256];
    char* cursor = reinterpret_cast<char*>(block);
    size_t room = sizeof(block);
    const size_t result = iconv(handle, in, inLeft, &cursor, &room);
    out.append(block, static_cast<size_t>(reinterpret_cast<Out*>(cursor) - block));
    return result;
}

// Decodes bytes; an invalid or truncated sequence fails when strict, else becomes U+FFFD and
// reading goes on after its first byte.
bool decodeBytes(UINT codePage, const char* bytes, size_t count, bool strict, std::wstring& text) {
    if (codePage == ANSI_CODE_PAGE) {
        text = krel_platform::windows1252ToWideString(std::string(bytes, count));
        return true;
    }
    IconvHandle converter(WIDE_CHARSET, iconvName(codePage).c_str());
    char* in = const_cast<char*>(bytes);
    size_t inLeft = count;
    while (inLeft > 0) {
        if (convertStep(converter.get(), &in, &inLeft, text) != static_cast<size_t>(-1) ||
            errno == E2BIG) {
            continue;
        }
        if (strict) {
            return false;
        }
        text.push_back(REPLACEMENT_CHARACTER);
        ++in;
        --inLeft;
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

// The text put in place of a character the code page cannot hold.
std::string replacementFor(LPCSTR defaultChar) {
    return defaultChar != nullptr ? std::string(defaultChar, 1) : std::string("?");
}

bool encodeText(UINT codePage, const wchar_t* text, size_t count, const std::string& replacement,
                bool strict, BOOL* usedDefaultChar, std::string& bytes) {
    bool usedDefault = false;
    if (codePage == ANSI_CODE_PAGE) {
        for (size_t i = 0; i < count; ++i) {
            unsigned char byte = 0;
            if (krel_platform::tryWideToWindows1252(text[i], byte)) {
                bytes.push_back(static_cast<char>(byte));
            } else if (strict) {
                return false;
            } else {
                usedDefault = true;
                bytes += replacement;
            }
        }
    } else {
        IconvHandle converter(iconvName(codePage).c_str(), WIDE_CHARSET);
        char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text));
        size_t inLeft = count * sizeof(wchar_t);
        while (inLeft > 0) {
            if (convertStep(converter.get(), &in, &inLeft, bytes) != static_cast<size_t>(-1) ||
                errno == E2BIG) {
                continue;
            }
            if (strict) {
                return false;
            }
            usedDefault = true;
            bytes += replacement;
            in += sizeof(wchar_t);
            inLeft -= sizeof(wchar_t);
        }
        size_t none = 0;
        convertStep<char>(converter.get(), nullptr, &none, bytes);
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    return true;
}

// Measures a result of `size` units against the caller's room. True when it is to be written:
// `answer` is then its size. Otherwise `answer` is what the call returns: the size needed for a
// room of 0, or 0 with the error set when the size passes an int or the room.
bool fitsRoom(size_t size, int room, int& answer) {
    answer = 0;
    if (size > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (room > 0 && size > static_cast<size_t>(room)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    answer = static_cast<int>(size);
    return room > 0;
}

// Copies the result into the caller's room, or answers the size needed for a room of 0.
template <typename Char>
int deliver(const std::basic_string<Char>& result, Char* target, int room) {
    int answer = 0;
    if (fitsRoom(result.size(), room, answer)) {
        std::copy(result.begin(), result.end(), target);
    }
    return answer;
}

// Writes UTF-8 straight into the caller's room, or answers the size needed for a room of 0.
// A surrogate or a value beyond U+10FFFF becomes U+FFFD, or fails the call when strict.
int encodeUtf8Into(const wchar_t* text, size_t count, bool terminated, bool strict, LPSTR target,
                   int room) {
    const wchar_t* const end = text + count;
    const auto unencodable = [](wchar_t c) {
        return !krel_platform::isUtf8Encodable(c, krel_platform::Utf8Surrogates::REPLACE);
    };
    if (strict && std::find_if(text, end, unencodable) != end) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const size_t size = krel_platform::utf8Length(text, count) + (terminated ? 1 : 0);
    int answer = 0;
    if (fitsRoom(size, room, answer)) {
        char* const written = krel_platform::encodeUtf8(text, end, target, target + room,
                                                        krel_platform::Utf8Surrogates::REPLACE);
        if (terminated) {
            *written = '\0';
        }
    }
    return answer;
}

// Decodes UTF-8 straight into the caller's room, or answers the size needed for a room of 0.
int decodeUtf8Into(const char* bytes, size_t count, bool terminated, bool strict, LPWSTR target,
                   int room) {
    const krel_platform::Utf8Decoding decoding =
        krel_platform::decodeUtf8(bytes, count, target, static_cast<size_t>(room), strict);
    if (decoding.failed) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const size_t size = decoding.length + (terminated ? 1 : 0);
    int answer = 0;
    if (fitsRoom(size, room, answer) && terminated) {
        target[size - 1] = L'\0';
    }
    return answer;
}

int invalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

} // namespace

UINT GetACP() {
    return ANSI_CODE_PAGE;
}

UINT GetOEMCP() {
    return OEM_CODE_PAGE;
}

BOOL IsValidCodePage(UINT codePage) {
    if (codePage == ANSI_CODE_PAGE || codePage == CP_UTF8) {
        return TRUE;
    }
    const std::string name = iconvName(codePage);
    return !name.empty() && IconvHandle(WIDE_CHARSET, name.c_str()).isOpen() ? TRUE : FALSE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteStr, int multiByteCount,
                        LPWSTR wideCharStr, int wideCharCount) {
    const UINT resolved = resolveCodePage(codePage);
    if (multiByteStr == nullptr || multiByteCount == 0 || multiByteCount < -1 ||
        wideCharCount < 0 || (wideCharCount > 0 && wideCharStr == nullptr) ||
        !IsValidCodePage(resolved)) {
        return invalidParameter();
    }
    const bool terminated = multiByteCount == -1;
    const size_t count =
        terminated ? std::strlen(multiByteStr) : static_cast<size_t>(multiByteCount);
    if (resolved == CP_UTF8) {
        return decodeUtf8Into(multiByteStr, count, terminated, (flags & MB_ERR_INVALID_CHARS) != 0,
                              wideCharStr, wideCharCount);
    }
    std::wstring text;
    if (!decodeBytes(resolved, multiByteStr, count, (flags & MB_ERR_INVALID_CHARS) != 0, text)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    // The terminator is added after the conversion: a zero is not a character of every
    // code page (UTF-7 has no direct form for it).
    if (terminated) {
        text.push_back(L'\0');
    }
    return deliver(text, wideCharStr, wideCharCount);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideCharStr, int wideCharCount,
                        LPSTR multiByteStr, int multiByteCount, LPCSTR defaultChar,
                        BOOL* usedDefaultChar) {
    const UINT resolved = resolveCodePage(codePage);
    if (wideCharStr == nullptr || wideCharCount == 0 || wideCharCount < -1 || multiByteCount < 0 ||
        (multiByteCount > 0 && multiByteStr == nullptr) || !IsValidCodePage(resolved) ||
        (resolved == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
        return invalidParameter();
    }
    const bool terminated = wideCharCount == -1;
    const size_t count = terminated ? std::wcslen(wideCharStr) : static_cast<size_t>(wideCharCount);
    if (resolved == CP_UTF8) {
        return encodeUtf8Into(wideCharStr, count, terminated, (flags & WC_ERR_INVALID_CHARS) != 0,
                              multiByteStr, multiByteCount);
    }
    std::string bytes;
    if (!encodeText(resolved, wideCharStr, count, replacementFor(defaultChar),
                    (flags & WC_ERR_INVALID_CHARS) != 0, usedDefaultChar, bytes)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    // A stateful encoding has closed its shift state by now, so the zero ends the text.
    if (terminated) {
        bytes.push_back('\0');
    }
    return deliver(bytes, multiByteStr, multiByteCount);
}
