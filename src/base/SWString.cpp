#include "base/SWString.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "base/EncodingUtils.h"
#include "platform/UnicodeLocale.h"

namespace KrelStd {

namespace {

using krel_std::EncodingUtils;

std::string narrowText(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

// The first `length` bytes, or fewer when a zero comes first.
std::string narrowText(const char* text, long length) {
    if (text == nullptr || length <= 0) {
        return std::string();
    }
    const void* zero = std::memchr(text, 0, static_cast<size_t>(length));
    return std::string(text, zero == nullptr ? static_cast<size_t>(length)
                                             : static_cast<const char*>(zero) - text);
}

// The runtime's decimal reading: white space and a sign allowed, stops at the first
// non-digit, saturates at the range of the type.
long long readDecimal(const wchar_t* text, long long minimum, long long maximum) {
    errno = 0;
    const long long value = std::wcstoll(text, nullptr, 10);
    return value < minimum ? minimum : (value > maximum ? maximum : value);
}

} // namespace

SWString::SWString(const wchar_t* text) : std::wstring(text == nullptr ? L"" : text) {}

SWString::SWString(const std::wstring& text) : std::wstring(text) {}

SWString::SWString(const SWString& other) : std::wstring(textOf(other)) {}

SWString::SWString(const std::wstring& text, unsigned int pos, unsigned int n)
    : std::wstring(text, pos, n) {}

SWString::SWString(unsigned int n, wchar_t c) : std::wstring(n, c) {}

SWString::SWString(const_iterator first, const_iterator last) : std::wstring(first, last) {}

SWString::SWString(const wchar_t* text, unsigned int n) : std::wstring(text, n) {}

SWString::SWString(wchar_t c) : std::wstring(1, c) {}

SWString::SWString(char c)
    : std::wstring(EncodingUtils::convertMbcsToUnicode(std::string(1, c), 0)) {}

SWString::SWString(const char* bytes, CodeType type, unsigned int codePage) {
    if (type == CT_UTF8) {
        SetUTF8(bytes);
    } else if (type == CT_BASE64) {
        SetBase64(bytes);
    } else {
        assign(bytes, codePage);
    }
}

SWString::SWString(const char* bytes, long length, CodeType type, unsigned int codePage) {
    const std::string text = narrowText(bytes, length);
    if (type == CT_UTF8) {
        SetUTF8(text.c_str());
    } else if (type == CT_BASE64) {
        SetBase64(text.c_str());
    } else {
        assign(text.c_str(), codePage);
    }
}

SWString::~SWString() {}

std::wstring SWString::textOf(const SWString& other) {
    return std::wstring(other.c_str());
}

std::wstring SWString::part(const wchar_t* text, unsigned int pos, unsigned int n) {
    return std::wstring(text).substr(pos, n);
}

const char* SWString::keep(const std::string& text) const {
    narrow = text;
    return narrow.c_str();
}

std::wstring SWString::convertMbcsToUnicode(const std::string& text, unsigned int codePage) const {
    return EncodingUtils::convertMbcsToUnicode(text, codePage);
}

const char* SWString::mb_str(unsigned int codePage) const {
    return keep(EncodingUtils::convertUnicodeToMbcs(*this, codePage));
}

const char* SWString::utf8_str() const {
    return keep(EncodingUtils::convertUnicodeToUtf8(*this));
}

const char* SWString::base64_str() const {
    return keep(EncodingUtils::convertMbcsToBase64(EncodingUtils::convertUnicodeToMbcs(*this, 0)));
}

bool SWString::SetUTF8(const char* bytes) {
    const std::string text = narrowText(bytes);
    const std::wstring decoded = EncodingUtils::convertUtf8ToUnicode(text);
    if (decoded.empty() && !text.empty()) {
        return false;
    }
    std::wstring::assign(decoded);
    return true;
}

bool SWString::SetUTF8(const char* bytes, long length) {
    return SetUTF8(narrowText(bytes, length).c_str());
}

bool SWString::SetBase64(const char* text) {
    const std::string base64 = narrowText(text);
    const std::wstring decoded =
        convertMbcsToUnicode(EncodingUtils::convertBase64ToMbcs(base64), 0);
    if (decoded.empty() && !base64.empty()) {
        return false;
    }
    std::wstring::assign(decoded);
    return true;
}

bool SWString::SetBase64(const char* text, long length) {
    return SetBase64(narrowText(text, length).c_str());
}

SWString& SWString::assign(const char* text, unsigned int codePage) {
    std::wstring::assign(convertMbcsToUnicode(narrowText(text), codePage));
    return *this;
}

SWString& SWString::append(const char* text, unsigned int codePage) {
    std::wstring::append(convertMbcsToUnicode(narrowText(text), codePage));
    return *this;
}

SWString& SWString::insert(unsigned int pos, const char* text, unsigned int codePage) {
    std::wstring::insert(pos, convertMbcsToUnicode(narrowText(text), codePage));
    return *this;
}

SWString& SWString::replace(unsigned int pos, unsigned int n, const char* text,
                            unsigned int codePage) {
    std::wstring::replace(pos, n, convertMbcsToUnicode(narrowText(text), codePage));
    return *this;
}

SWString& SWString::operator=(const char* text) {
    return assign(text, 0);
}

bool SWString::operator==(const char* text) const {
    return std::strcmp(mb_str(0), text == nullptr ? "" : text) == 0;
}

bool SWString::operator!=(const char* text) const {
    return !(*this == text);
}

bool SWString::operator<(const SWString& other) const {
    const wchar_t* left = c_str();
    const wchar_t* right = other.c_str();
    for (; *left != 0 && *left == *right; ++left, ++right) {
    }
    return static_cast<uint32_t>(*left) < static_cast<uint32_t>(*right);
}

const wchar_t* SWString::t_str() const {
    return c_str();
}

int SWString::ToInt() const {
    return static_cast<int>(readDecimal(c_str(), INT_MIN, INT_MAX));
}

long SWString::ToLong() const {
    return static_cast<long>(readDecimal(c_str(), LONG_MIN, LONG_MAX));
}

SWString& SWString::ToUpper() {
    for (wchar_t& c : *this) {
        c = static_cast<wchar_t>(
            towupper_l(static_cast<wint_t>(c), krel_platform::unicodeLocale()));
    }
    return *this;
}

SWString& SWString::ToLower() {
    for (wchar_t& c : *this) {
        c = static_cast<wchar_t>(
            towlower_l(static_cast<wint_t>(c), krel_platform::unicodeLocale()));
    }
    return *this;
}

SWString& SWString::TrimString() {
    size_t first = 0;
    while (first < size() && krel_platform::isUnicodeSpace((*this)[first])) {
        ++first;
    }
    size_t last = size();
    while (last > first && krel_platform::isUnicodeSpace((*this)[last - 1])) {
        --last;
    }
    std::wstring::assign(substr(first, last - first));
    return *this;
}

SWString& SWString::operator=(const SWString& other) {
    if (&other != this) {
        std::wstring::assign(textOf(other));
    }
    return *this;
}

SWString& SWString::operator=(const std::wstring& text) {
    std::wstring::assign(text);
    return *this;
}

SWString& SWString::operator=(const wchar_t* text) {
    std::wstring::assign(text == nullptr ? L"" : text);
    return *this;
}

SWString& SWString::operator=(wchar_t c) {
    std::wstring::assign(1, c);
    return *this;
}

SWString& SWString::operator+=(const SWString& other) {
    std::wstring::append(textOf(other));
    return *this;
}

SWString& SWString::operator+=(const std::wstring& text) {
    std::wstring::append(text);
    return *this;
}

SWString& SWString::operator+=(const wchar_t* text) {
    std::wstring::append(text);
    return *this;
}

SWString& SWString::operator+=(wchar_t c) {
    std::wstring::push_back(c);
    return *this;
}

SWString SWString::operator+(const SWString& other) const {
    return SWString(static_cast<const std::wstring&>(*this) + textOf(other));
}

SWString SWString::operator+(const std::wstring& text) const {
    return SWString(static_cast<const std::wstring&>(*this) + text);
}

SWString SWString::operator+(const wchar_t* text) const {
    return SWString(static_cast<const std::wstring&>(*this) + text);
}

SWString SWString::operator+(wchar_t c) const {
    return SWString(static_cast<const std::wstring&>(*this) + c);
}

SWString& SWString::append(const SWString& other) {
    std::wstring::append(other);
    return *this;
}

SWString& SWString::append(const std::wstring& text) {
    std::wstring::append(text);
    return *this;
}

SWString& SWString::append(const wchar_t* text) {
    std::wstring::append(text);
    return *this;
}

SWString& SWString::append(const wchar_t* text, unsigned int n) {
    std::wstring::append(text, n);
    return *this;
}

SWString& SWString::append(const wchar_t* text, unsigned int pos, unsigned int n) {
    std::wstring::append(part(text, pos, n));
    return *this;
}

SWString& SWString::append(unsigned int n, wchar_t c) {
    std::wstring::append(n, c);
    return *this;
}

SWString& SWString::append(const_iterator first, const_iterator last) {
    std::wstring::append(first, last);
    return *this;
}

SWString& SWString::append(wchar_t c) {
    std::wstring::push_back(c);
    return *this;
}

SWString& SWString::assign(const SWString& other) {
    return *this = other;
}

SWString& SWString::assign(const std::wstring& text) {
    std::wstring::assign(text);
    return *this;
}

SWString& SWString::assign(const wchar_t* text) {
    std::wstring::assign(text);
    return *this;
}

SWString& SWString::assign(const wchar_t* text, unsigned int n) {
    std::wstring::assign(text, n);
    return *this;
}

SWString& SWString::assign(const wchar_t* text, unsigned int pos, unsigned int n) {
    std::wstring::assign(part(text, pos, n));
    return *this;
}

SWString& SWString::assign(unsigned int n, wchar_t c) {
    std::wstring::assign(n, c);
    return *this;
}

SWString& SWString::assign(const_iterator first, const_iterator last) {
    std::wstring::assign(std::wstring(first, last));
    return *this;
}

SWString& SWString::assign(wchar_t c) {
    std::wstring::assign(1, c);
    return *this;
}

SWString& SWString::insert(unsigned int pos, const SWString& other) {
    std::wstring::insert(pos, other);
    return *this;
}

SWString& SWString::insert(unsigned int pos, const std::wstring& text) {
    std::wstring::insert(pos, text);
    return *this;
}

SWString& SWString::insert(unsigned int pos, const wchar_t* text) {
    std::wstring::insert(pos, text);
    return *this;
}

SWString& SWString::insert(unsigned int pos, const wchar_t* text, unsigned int n) {
    std::wstring::insert(pos, text, n);
    return *this;
}

SWString& SWString::insert(unsigned int pos, const wchar_t* text, unsigned int subpos,
                           unsigned int n) {
    std::wstring::insert(pos, part(text, subpos, n));
    return *this;
}

SWString& SWString::insert(unsigned int pos, unsigned int n, wchar_t c) {
    std::wstring::insert(static_cast<size_type>(pos), static_cast<size_type>(n), c);
    return *this;
}

SWString::iterator SWString::insert(iterator at, wchar_t c) {
    return std::wstring::insert(at, c);
}

void SWString::insert(iterator at, unsigned int n, wchar_t c) {
    std::wstring::insert(at, static_cast<size_type>(n), c);
}

void SWString::insert(iterator at, const_iterator first, const_iterator last) {
    std::wstring::insert(at, first, last);
}

SWString& SWString::replace(unsigned int pos, unsigned int n, const SWString& other) {
    std::wstring::replace(pos, n, other);
    return *this;
}

SWString& SWString::replace(unsigned int pos, unsigned int n, const std::wstring& text) {
    std::wstring::replace(pos, n, text);
    return *this;
}

SWString& SWString::replace(unsigned int pos, unsigned int n, const wchar_t* text) {
    std::wstring::replace(pos, n, text);
    return *this;
}

SWString& SWString::replace(unsigned int pos, unsigned int n, const wchar_t* text,
                            unsigned int count) {
    std::wstring::replace(pos, n, text, count);
    return *this;
}

SWString& SWString::replace(unsigned int pos, unsigned int n, const wchar_t* text,
                            unsigned int subpos, unsigned int count) {
    std::wstring::replace(pos, n, part(text, subpos, count));
    return *this;
}

SWString& SWString::replace(unsigned int pos, unsigned int n, unsigned int count, wchar_t c) {
    std::wstring::replace(static_cast<size_type>(pos), static_cast<size_type>(n),
                          static_cast<size_type>(count), c);
    return *this;
}

SWString& SWString::replace(iterator first, iterator last, const wchar_t* text) {
    std::wstring::replace(first, last, text);
    return *this;
}

SWString& SWString::replace(iterator first, iterator last, const wchar_t* text,
                            unsigned int count) {
    std::wstring::replace(first, last, text, count);
    return *this;
}

SWString& SWString::replace(iterator first, iterator last, const std::wstring& text) {
    std::wstring::replace(first, last, text);
    return *this;
}

SWString& SWString::replace(iterator first, iterator last, unsigned int count, wchar_t c) {
    std::wstring::replace(first, last, static_cast<size_type>(count), c);
    return *this;
}

SWString& SWString::replace(iterator first, iterator last, const_iterator first2,
                            const_iterator last2) {
    std::wstring::replace(first, last, std::wstring(first2, last2));
    return *this;
}

} // namespace KrelStd
