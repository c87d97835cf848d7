#include "base/ByteArray.h"

#include <cstring>

#include "base/EncodingUtils.h"
#include "base/ErrorUtils.h"
#include "platform/Utf16.h"

namespace krel_std {

namespace {

const wchar_t* const WINDOWS_1252 = L"windows-1252";
const wchar_t* const UTF_8 = L"UTF-8";

// Any charset other than "windows-1252" and "UTF-8" is UTF-16, low byte first.
std::string encode(const std::wstring& text, const std::wstring& charset) {
    if (charset == WINDOWS_1252) {
        return EncodingUtils::convertUnicodeToMbcs(text, 0);
    }
    if (charset == UTF_8) {
        return EncodingUtils::convertUnicodeToUtf8(text);
    }
    std::string bytes;
    for (char16_t unit : krel_platform::wideToUtf16(text)) {
        bytes.push_back(static_cast<char>(unit & 0xFFu));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFFu));
    }
    return bytes;
}

std::wstring decode(const std::string& bytes, const std::wstring& charset) {
    if (charset == WINDOWS_1252) {
        return EncodingUtils::convertMbcsToUnicode(bytes, 0);
    }
    if (charset == UTF_8) {
        return EncodingUtils::convertUtf8ToUnicode(bytes);
    }
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return krel_platform::utf16ToWide(units);
}

// Lengths are kept in 32 bits. A negative length is refused as below the minimum of 0; only a
// length beyond the 32-bit field is refused as outside the range the field holds.
int32_t checkedLength(long length) {
    const wchar_t* const context = L"krel_std::ByteArray::ByteArray";
    ErrorUtils::isBelowMinimumEx(length, 0L, context, L"ByteArray length");
    ErrorUtils::isOutsideRangeEx(length, 0L, static_cast<long>(INT32_MAX), context,
                                 L"ByteArray length");
    return static_cast<int32_t>(length);
}

} // namespace

ByteArray::ByteArray() : array(new char[0]), length(0), spare(0) {}

ByteArray::ByteArray(long size) : length(checkedLength(size)), spare(0) {
    array.reset(new char[length]());
}

ByteArray::ByteArray(const char* bytes, long size) : length(0), spare(0) {
    ErrorUtils::isNullEx(bytes, L"krel_std::ByteArray::ByteArray", L"ByteArray value");
    assignBytes(bytes, checkedLength(size));
}

ByteArray::ByteArray(const std::string& bytes) : length(0), spare(0) {
    assignBytes(bytes.data(), checkedLength(static_cast<long>(bytes.size())));
}

ByteArray::ByteArray(const std::wstring& text, const std::wstring& charset) : length(0), spare(0) {
    const std::string bytes = text.empty() ? std::string() : encode(text, charset);
    assignBytes(bytes.data(), checkedLength(static_cast<long>(bytes.size())));
}

ByteArray::ByteArray(const ByteArray& other) : length(0), spare(0) {
    assignBytes(other.array.get(), other.length);
}

ByteArray& ByteArray::operator=(const ByteArray& other) {
    if (&other != this) {
        assignBytes(other.array.get(), other.length);
    }
    return *this;
}

ByteArray::~ByteArray() {}

void ByteArray::assignBytes(const char* bytes, long size) {
    boost::shared_array<char> copy(new char[size]);
    if (size > 0) {
        std::memcpy(copy.get(), bytes, static_cast<size_t>(size));
    }
    array = copy;
    length = static_cast<int32_t>(size);
}

long ByteArray::getLength() const {
    return length;
}

boost::shared_array<char> ByteArray::getArray() const {
    return array;
}

char& ByteArray::operator[](long index) {
    const wchar_t* context = L"krel_std::ByteArray::operator[]";
    if (ErrorUtils::isBelowMinimum(index, 0L, context, L"Column in array") ||
        ErrorUtils::isBelowMinimum(static_cast<long>(length) - 1, index, context,
                                   L"Column in array")) {
        spare = 0;
        return spare;
    }
    return array[index];
}

void ByteArray::clear() {
    if (array) {
        array.reset(new char[0]);
        length = 0;
    }
}

bool ByteArray::operator==(const ByteArray& other) const {
    if (&other == this) {
        return true;
    }
    return length == other.length &&
           (length == 0 || std::memcmp(array.get(), other.array.get(), length) == 0);
}

std::string ByteArray::toString() const {
    return length == 0 ? std::string() : std::string(array.get(), static_cast<size_t>(length));
}

std::wstring ByteArray::toWString(const std::wstring& charset) const {
    return length == 0 ? std::wstring() : decode(toString(), charset);
}

} // namespace krel_std
