#include "RegistryName.h"

#include "UnicodeLocale.h"
#include "platform/Utf16.h"
#include "platform/WinError.h"

#include <wctype.h>

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

RegistryName::RegistryName(const std::u16string& text) {
    spelled.reserve(text.size() * 2);
    foldedForm.reserve(text.size() * 2);
    for (char16_t unit : text) {
        spelled += static_cast<char>(unit & 0xFF);
        spelled += static_cast<char>(unit >> 8);
        const char16_t folded = foldUnit(unit);
        foldedForm += static_cast<char>(folded >> 8);
        foldedForm += static_cast<char>(folded & 0xFF);
    }
}

LSTATUS RegistryName::fromValueName(LPCWSTR text, RegistryName& name) {
    const std::u16string units = wideToUtf16(text == nullptr ? std::wstring() : text);
    if (units.size() > maxValueNameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    name = RegistryName(units);
    return ERROR_SUCCESS;
}

LSTATUS RegistryName::splitPath(LPCWSTR path, std::vector<RegistryName>& elements) {
    elements.clear();
    if (path == nullptr || *path == L'\0') {
        return ERROR_SUCCESS;
    }
    std::wstring text(path);
    if (text.front() == L'\\') {
        return ERROR_BAD_PATHNAME;
    }
    if (text.back() == L'\\') {
        text.pop_back();
    }
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\\', start);
        const std::wstring element =
            text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (element.empty()) {
            return ERROR_BAD_PATHNAME;
        }
        const std::u16string units = wideToUtf16(element);
        if (units.size() > maxKeyNameLength) {
            return ERROR_INVALID_PARAMETER;
        }
        elements.emplace_back(units);
        if (end == std::wstring::npos) {
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
