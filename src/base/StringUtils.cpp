#include "base/StringUtils.h"

#include <climits>
#include <cmath>
#include <new>

#include "base/ByteArray.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "internal/GuardedCall.h"
#include "platform/UnicodeLocale.h"
#include "platform/VaListGuard.h"
#include "platform/WinCrt.h"

namespace krel_std {

namespace {

const wchar_t FORMAT_CONTEXT[] = L"krel_std::StringUtils::sprintfStringAppendVA";

struct SizeUnit {
    const wchar_t* name;
    double factor;
};

// Searched in this order; the first unit found anywhere in the text decides.
const SizeUnit SIZE_UNITS[] = {{L"GB", 1073741824.0}, {L"MB", 1048576.0}, {L"KB", 1024.0}};

// The separators getLineSeparator knows, in the order it tries them.
const wchar_t* const LINE_SEPARATORS[] = {L"\r\n", L"\r", L"\n"};

bool containsOnly(const std::wstring& text, const wchar_t* characters) {
    return text.find_first_not_of(characters) == std::wstring::npos;
}

void upperCaseAscii(std::wstring& text) {
    for (wchar_t& character : text) {
        if (character >= L'a' && character <= L'z') {
            character = static_cast<wchar_t>(character - L'a' + L'A');
        }
    }
}

// Clamps before converting: a double outside the range of int has no int value.
int clampToInt(double value, int defaultValue) {
    if (std::isnan(value)) {
        return defaultValue;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

[[noreturn]] void throwFormatFailure(const wchar_t* format) {
    KrelIllegalArgumentException exception(L"Unable to format string: " + std::wstring(format));
    exception.logDebug(FORMAT_CONTEXT);
    throw exception;
}

} // namespace

StringUtils::StringUtils() {}

StringUtils::StringUtils(const StringUtils&) {}

StringUtils& StringUtils::operator=(const StringUtils&) {
    return *this;
}

StringUtils::~StringUtils() {}

bool StringUtils::hasPrefix(const std::wstring& text, const std::wstring& prefix) {
    return prefix.size() <= text.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring StringUtils::trimPrefix(const std::wstring& text, const std::wstring& prefix) {
    return hasPrefix(text, prefix) ? text.substr(prefix.size()) : std::wstring();
}

std::wstring StringUtils::quotedPrefix(const std::wstring& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::wstring prefix(text, 0, limit);
    prefix += L'\u2026';
    return prefix;
}

std::wstring StringUtils::nullCheckedString(const wchar_t* text) {
    return text == nullptr ? std::wstring(L"NULL") : std::wstring(text);
}

bool StringUtils::isDigits(const std::wstring& text) {
    return containsOnly(text, L"0123456789");
}

bool StringUtils::isHexadecimal(const std::wstring& text) {
    return containsOnly(text, L"0123456789ABCDEFabcdef");
}

std::wstring StringUtils::trimString(std::wstring& text) {
    size_t end = text.size();
    while (end > 0 && krel_platform::isUnicodeSpace(text[end - 1])) {
        --end;
    }
    size_t begin = 0;
    while (begin < end && krel_platform::isUnicodeSpace(text[begin])) {
        ++begin;
    }
    text = text.substr(begin, end - begin);
    return text;
}

void StringUtils::sprintfStringAppend(std::wstring& target, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    sprintfStringAppendVA(target, arguments, format);
}

// The formatter makes the whole text before it touches the target, so the target never holds
// part of a text.
void StringUtils::sprintfStringAppendVA(std::wstring& target, va_list arguments,
                                        const wchar_t* format) {
    if (format == nullptr) {
        KrelIllegalArgumentException exception(L"Format string cannot be null!");
        exception.logDebug(FORMAT_CONTEXT);
        throw exception;
    }
    bool formatted = false;
    krel_std_internal::callSwallowing(
        [&] { formatted = krel_platform::formatAppendV(target, format, arguments); },
        [&] {
            try {
                throw;
            } catch (const std::bad_alloc&) {
                KrelOutOfResourcesException exception(
                    L"Unable to allocate enough memory to print log statement.");
                exception.logDebug(FORMAT_CONTEXT);
                throw exception;
            } catch (const KrelException& cause) {
                KrelIllegalArgumentException exception(
                    L"Unable to format string: " + std::wstring(format), cause);
                exception.logDebug(FORMAT_CONTEXT);
                throw exception;
            } catch (...) {
                throwFormatFailure(format);
            }
        });
    if (!formatted) {
        throwFormatFailure(format);
    }
}

int StringUtils::convertSizeString(const std::wstring& text, int defaultValue) {
    std::wstring copy = text;
    trimString(copy);
    upperCaseAscii(copy);
    if (copy.empty()) {
        return defaultValue;
    }
    double factor = 1.0;
    if (copy.size() > 2) {
        for (const SizeUnit& unit : SIZE_UNITS) {
            if (copy.find(unit.name) != std::wstring::npos) {
                factor = unit.factor;
                copy.erase(copy.size() - 2);
                trimString(copy);
                break;
            }
        }
    }
    const double size = parseNumber<double>(copy, defaultValue) * factor;
    return clampToInt(size, defaultValue);
}

namespace {

// The length of a byte sequence at `at` that the charset's decoder reads as U+0000, or 0. The
// decoders of windows-1252 and UTF-8 end their text there; UTF-16 (any other charset) keeps it.
size_t encodedNulLength(const std::string& bytes, size_t at, const std::wstring& charset) {
    if (bytes[at] == '\0') {
        return 1;
    }
    if (charset != L"UTF-8") {
        return 0;
    }
    if (bytes.compare(at, 2, "\xC0\x80") == 0) {
        return 2;
    }
    return bytes.compare(at, 3, "\xE0\x80\x80") == 0 ? 3 : 0;
}

// The whole text of the bytes: a decoded zero is kept as a character instead of ending the
// text, so what follows it is never lost. Bytes that do not decode give empty text, as the
// charset's decoder does.
std::wstring decodeEntirely(const ByteArray& bytes, const std::wstring& charset) {
    if (charset != L"windows-1252" && charset != L"UTF-8") {
        return bytes.toWString(charset);
    }
    const std::string raw = bytes.toString();
    std::wstring text;
    size_t begin = 0;
    for (size_t at = 0; at <= raw.size(); ++at) {
        const size_t nul = at < raw.size() ? encodedNulLength(raw, at, charset) : 0;
        if (nul == 0 && at < raw.size()) {
            continue;
        }
        if (at > begin) {
            const std::wstring part = ByteArray(raw.substr(begin, at - begin)).toWString(charset);
            if (part.empty()) {
                return std::wstring();
            }
            text += part;
        }
        if (nul > 0) {
            text.push_back(L'\0');
            at += nul - 1;
            begin = at + 1;
        }
    }
    return text;
}

} // namespace

std::vector<std::wstring> StringUtils::getLines(const ByteArray& bytes,
                                                const std::wstring& charset) {
    const std::wstring text = decodeEntirely(bytes, charset);
    std::vector<std::wstring> lines;
    if (text.empty()) {
        return lines;
    }
    size_t begin = 0;
    for (size_t end = text.find_first_of(L"\r\n"); end != std::wstring::npos;
         end = text.find_first_of(L"\r\n", begin)) {
        lines.push_back(text.substr(begin, end - begin));
        const bool crLf = text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n';
        begin = end + (crLf ? 2 : 1);
    }
    lines.push_back(text.substr(begin));
    return lines;
}

std::wstring StringUtils::getLineSeparator(const ByteArray& bytes, const std::wstring& charset) {
    const std::wstring text = bytes.toWString(charset);
    std::wstring separator;
    size_t firstPosition = std::wstring::npos;
    for (const wchar_t* candidate : LINE_SEPARATORS) {
        const size_t position = text.find(candidate);
        if (position != std::wstring::npos && position < firstPosition) {
            firstPosition = position;
            separator = candidate;
        }
    }
    return separator;
}

std::wstring StringUtils::pointerToWString(uintptr_t value) {
    wchar_t digits[32];
    std::swprintf(digits, sizeof(digits) / sizeof(digits[0]), L"%08llX",
                  static_cast<unsigned long long>(value));
    return digits;
}

} // namespace krel_std
