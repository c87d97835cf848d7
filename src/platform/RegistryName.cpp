#include "platform/RegistryName.h"

#include <algorithm>
#include <cwchar>
#include <wctype.h>

#include "platform/UnicodeLocale.h"
#include "platform/Utf16.h"
#include "platform/WinError.h"

namespace krel_platform {

namespace {

bool isSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Upper-cases one UTF-16 unit; surrogates and characters whose upper case lies outside the
// basic plane stay as they are.
char16_t foldUnit(char16_t unit) {
    if (unit < 0x80) {
        return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
    }
    if (isSurrogate(unit)) {
        return unit;
    }
    const wint_t upper = towupper_l(static_cast<wint_t>(unit), unicodeLocale());
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

} // namespace

RegistryName::RegistryName(const std::u16string& text)
    : spelled(text.size() * 2, '\0'), foldedForm(text.size() * 2, '\0') {
    char* spelling = &spelled[0];
    char* folding = &foldedForm[0];
    for (char16_t unit : text) {
        *spelling++ = static_cast<char>(unit & 0xFF);
        *spelling++ = static_cast<char>(unit >> 8);
        const char16_t folded = foldUnit(unit);
        *folding++ = static_cast<char>(folded >> 8);
        *folding++ = static_cast<char>(folded & 0xFF);
    }
}

LSTATUS RegistryName::fromValueName(LPCWSTR text, RegistryName& name) {
    const std::wstring wide = text == nullptr ? std::wstring() : text;
    if (!isFaithfulInUtf16(wide.data(), wide.size())) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string units = wideToUtf16(wide);
    if (units.size() > MAX_VALUE_NAME_LENGTH) {
        return ERROR_INVALID_PARAMETER;
    }
    name = RegistryName(units);
    return ERROR_SUCCESS;
}

// The path is converted whole: '\\' is one UTF-16 unit that no surrogate pair holds, so its
// elements are the converted elements.
LSTATUS RegistryName::splitPath(LPCWSTR path, std::vector<RegistryName>& elements) {
    elements.clear();
    if (path == nullptr || *path == L'\0') {
        return ERROR_SUCCESS;
    }
    if (*path == L'\\') {
        return ERROR_BAD_PATHNAME;
    }
    const size_t length = std::wcslen(path);
    if (!isFaithfulInUtf16(path, length)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::u16string text = wideToUtf16(std::wstring(path, length));
    if (text.back() == u'\\') {
        text.pop_back();
    }
    elements.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), u'\\')) + 1);
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(u'\\', start);
        const size_t length = (end == std::u16string::npos ? text.size() : end) - start;
        if (length == 0) {
            return ERROR_BAD_PATHNAME;
        }
        if (length > MAX_KEY_NAME_LENGTH) {
            return ERROR_INVALID_PARAMETER;
        }
        elements.emplace_back(text.substr(start, length));
        if (end == std::u16string::npos) {
            return ERROR_SUCCESS;
        }
        start = end + 1;
    }
}

std::wstring RegistryName::textOf(const void* bytes, size_t size) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return utf16ToWide(units);
}

} // namespace krel_platform
