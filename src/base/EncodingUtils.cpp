#include "base/EncodingUtils.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/Base64Utils.h"
#include "base/ByteArray.h"
#include "base/ByteBuffer.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/Utf8Utils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "platform/Utf16.h"
#include "platform/WinNls.h"

namespace krel_std {

namespace {

const wchar_t HEX_DIGITS[] = L"0123456789ABCDEF";
const wchar_t DELIMITER = L'-';
const wchar_t* const DELIMITED_ENCODING = L"DelimiteredEncoding";

typedef std::vector<char> Bytes;

template <typename Char> int hexValue(Char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A') + 10;
    }
    return 0;
}

// Pairs of digits, high nibble first; characters that are not upper-case hexadecimal digits
// count 0.
template <typename Char> Bytes hexBytes(const std::basic_string<Char>& text) {
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<char>((hexValue(text[i]) << 4) | hexValue(text[i + 1])));
    }
    return bytes;
}

// The runtime's decimal reading saturates at the 32-bit range; only the low 8 bits are kept.
void storeNumber(std::string& number, Bytes& bytes) {
    if (number.empty()) {
        return;
    }
    const long long value = std::strtoll(number.c_str(), nullptr, 10);
    const long long saturated = value > INT32_MAX ? INT32_MAX : value;
    bytes.push_back(static_cast<char>(saturated & 0xFF));
    number.clear();
}

// Decimal numbers separated by dashes; false for any other character.
template <typename Char> bool delimBytes(const std::basic_string<Char>& text, Bytes& bytes) {
    std::string number;
    for (Char c : text) {
        if (c == static_cast<Char>(DELIMITER)) {
            storeNumber(number, bytes);
        } else if (c >= '0' && c <= '9') {
            number.push_back(static_cast<char>(c));
        } else {
            return false;
        }
    }
    storeNumber(number, bytes);
    return true;
}

void traceInvalid(const wchar_t* function, const std::wstring& text) {
    KREL_INTERNAL_DEBUG(function, L"<%ls> string is invalid.", text.c_str());
}

void traceInvalid(const wchar_t* function, const std::string& text) {
    KREL_INTERNAL_DEBUG(function, L"<%hs> string is invalid.", text.c_str());
}

boost::shared_ptr<ByteArray> newArray(const Bytes& bytes) {
    return boost::shared_ptr<ByteArray>(
        new ByteArray(bytes.data(), static_cast<long>(bytes.size())));
}

boost::shared_ptr<ByteArray> arrayOrEmpty(const Bytes& bytes) {
    try {
        return newArray(bytes);
    } catch (const KrelIllegalArgumentException&) {
        return boost::shared_ptr<ByteArray>(new ByteArray());
    }
}

// A buffer of `capacity` bytes holding `bytes`, flipped for reading; null when it cannot be
// allocated.
boost::shared_ptr<ByteBuffer> newBuffer(const Bytes& bytes, size_t capacity) {
    try {
        boost::shared_ptr<ByteBuffer> buffer = ByteBuffer::allocate(static_cast<long>(capacity));
        for (char byte : bytes) {
            buffer->put(byte);
        }
        buffer->flip();
        return buffer;
    } catch (const KrelIllegalArgumentException&) {
        return boost::shared_ptr<ByteBuffer>();
    }
}

template <typename Char> boost::shared_ptr<ByteArray> hexArray(const std::basic_string<Char>& t) {
    if (t.empty() || t.size() % 2 != 0) {
        return boost::shared_ptr<ByteArray>(new ByteArray());
    }
    return arrayOrEmpty(hexBytes(t));
}

template <typename Char> boost::shared_ptr<ByteBuffer> hexBuffer(const std::basic_string<Char>& t) {
    if (t.empty() || t.size() % 2 != 0) {
        return ByteBuffer::allocate(0);
    }
    return newBuffer(hexBytes(t), t.size() / 2);
}

template <typename Char> boost::shared_ptr<ByteArray> delimArray(const std::basic_string<Char>& t) {
    if (t.empty()) {
        return boost::shared_ptr<ByteArray>(new ByteArray());
    }
    Bytes bytes;
    if (!delimBytes(t, bytes)) {
        traceInvalid(L"krel_std::EncodingUtils::delimStringToByteArray", t);
        return boost::shared_ptr<ByteArray>(new ByteArray());
    }
    return arrayOrEmpty(bytes);
}

template <typename Char>
boost::shared_ptr<ByteBuffer> delimBuffer(const std::basic_string<Char>& t) {
    if (t.empty()) {
        return ByteBuffer::allocate(0);
    }
    Bytes bytes;
    if (!delimBytes(t, bytes)) {
        traceInvalid(L"krel_std::EncodingUtils::delimStringToByteBuffer", t);
        return boost::shared_ptr<ByteBuffer>();
    }
    return newBuffer(bytes, t.size());
}

std::wstring hexText(const char* bytes, long length) {
    std::wstring text;
    text.reserve(static_cast<size_t>(length) * 2);
    for (long i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        text.push_back(HEX_DIGITS[byte >> 4]);
        text.push_back(HEX_DIGITS[byte & 0x0F]);
    }
    return text;
}

std::wstring delimText(const char* bytes, long length) {
    std::wstring text;
    for (long i = 0; i < length; ++i) {
        if (i > 0) {
            text.push_back(DELIMITER);
        }
        text += std::to_wstring(static_cast<unsigned int>(static_cast<unsigned char>(bytes[i])));
    }
    return text;
}

// The readable part of a buffer, from its position to its limit; the buffer is not moved.
const char* readable(ByteBuffer& buffer) {
    return buffer.array() + buffer.getPosition();
}

} // namespace

EncodingUtils::~EncodingUtils() {}

std::wstring EncodingUtils::convertMbcsToUnicode(const std::string& bytes, unsigned int codePage) {
    const std::string text(bytes.c_str());
    if (text.size() >= static_cast<size_t>(INT_MAX)) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(text.size() + 1, 0);
    const int converted = MultiByteToWideChar(codePage, MB_PRECOMPOSED, text.c_str(), -1,
                                              buffer.data(), static_cast<int>(buffer.size()));
    return converted > 0 ? std::wstring(buffer.data()) : std::wstring();
}

std::string EncodingUtils::convertUnicodeToMbcs(const std::wstring& text, unsigned int codePage) {
    const std::wstring source(text.c_str());
    // Four bytes for each UTF-16 unit, so a character above U+FFFF gets the room of its two
    // units (a code page such as UTF-7 needs more than four bytes for it).
    const size_t units = krel_platform::wideToUtf16(source).size();
    if (units >= static_cast<size_t>(INT_MAX / 4)) {
        return std::string();
    }
    std::vector<char> buffer(units * 4 + 1, 0);
    const int converted = WideCharToMultiByte(codePage, 0, source.c_str(), -1, buffer.data(),
                                              static_cast<int>(buffer.size()), nullptr, nullptr);
    return converted > 0 ? std::string(buffer.data()) : std::string();
}

std::wstring EncodingUtils::convertUtf8ToUnicode(const std::string& bytes) {
    return Utf8Utils::utf8ToUnicode(bytes);
}

std::string EncodingUtils::convertUnicodeToUtf8(const std::wstring& text) {
    return Utf8Utils::unicodeToUtf8(text);
}

std::string EncodingUtils::convertBase64ToMbcs(const std::string& base64) {
    return Base64Utils::base64ToMbcs(base64);
}

std::string EncodingUtils::convertMbcsToBase64(const std::string& bytes) {
    return Base64Utils::mbcsToBase64(bytes);
}

bool EncodingUtils::isValidCharacterSet(const std::wstring& name) {
    return name == L"ISO-10646-UCS-2" || name == L"UTF-8" || name == L"windows-1252";
}

std::wstring EncodingUtils::toStringFromLongLong(unsigned long long value) {
    return std::to_wstring(value);
}

std::wstring EncodingUtils::toHexString(ByteArray& bytes) {
    return hexText(bytes.getArray().get(), bytes.getLength());
}

std::wstring EncodingUtils::toHexString(ByteBuffer& bytes) {
    return hexText(readable(bytes), bytes.remaining());
}

std::wstring EncodingUtils::toDelimString(ByteArray& bytes) {
    return delimText(bytes.getArray().get(), bytes.getLength());
}

std::wstring EncodingUtils::toDelimString(ByteBuffer& bytes) {
    return delimText(readable(bytes), bytes.remaining());
}

std::wstring EncodingUtils::encodeString(ByteArray& bytes, const std::wstring& encoding) {
    return encoding == DELIMITED_ENCODING ? toDelimString(bytes) : toHexString(bytes);
}

boost::shared_ptr<ByteArray> EncodingUtils::decodeString(const std::wstring& text,
                                                         const std::wstring& encoding) {
    return encoding == DELIMITED_ENCODING ? delimStringToByteArray(text)
                                          : hexStringToByteArray(text);
}

boost::shared_ptr<ByteArray> EncodingUtils::hexStringToByteArray(const std::wstring& text) {
    return hexArray(text);
}

boost::shared_ptr<ByteArray> EncodingUtils::hexStringToByteArray(const std::string& text) {
    return hexArray(text);
}

boost::shared_ptr<ByteBuffer> EncodingUtils::hexStringToByteBuffer(const std::wstring& text) {
    return hexBuffer(text);
}

boost::shared_ptr<ByteBuffer> EncodingUtils::hexStringToByteBuffer(const std::string& text) {
    return hexBuffer(text);
}

boost::shared_ptr<ByteArray> EncodingUtils::delimStringToByteArray(const std::wstring& text) {
    return delimArray(text);
}

boost::shared_ptr<ByteArray> EncodingUtils::delimStringToByteArray(const std::string& text) {
    return delimArray(text);
}

boost::shared_ptr<ByteBuffer> EncodingUtils::delimStringToByteBuffer(const std::wstring& text) {
    return delimBuffer(text);
}

boost::shared_ptr<ByteBuffer> EncodingUtils::delimStringToByteBuffer(const std::string& text) {
    return delimBuffer(text);
}

std::map<std::wstring, unsigned int>* EncodingUtils::loadLanguageMap() {
    return new std::map<std::wstring, unsigned int>{{L"English", 1252},
                                                    {L"French", 1252},
                                                    {L"German", 1252},
                                                    {L"Spanish", 1252},
                                                    {L"Italian", 1252},
                                                    {L"Chinese", 936},
                                                    {L"Japanese", 932},
                                                    {L"Korean", 949},
                                                    {L"Brazilian Portuguese", 1252},
                                                    {L"Dutch", 1252},
                                                    {L"Danish", 1252},
                                                    {L"Swedish", 1252},
                                                    {L"Traditional Chinese", 950},
                                                    {L"Russian", 1251}};
}

// The table is built once, on first use, by a thread-safe static initialisation and never
// destroyed; afterwards it is only read.
unsigned int EncodingUtils::languageToCodePage(const std::wstring& language) {
    static const std::map<std::wstring, unsigned int>& table = *loadLanguageMap();
    const auto found = table.find(language);
    return found == table.end() ? 0 : found->second;
}

} // namespace krel_std
