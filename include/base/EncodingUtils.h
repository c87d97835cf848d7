// Conversions between wide text and bytes: code pages, UTF-8, Base64, hexadecimal and
// dash-delimited decimal forms of byte containers, charset names and the language table.
#pragma once

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

namespace krel_std {

class ByteArray;
class ByteBuffer;

class EncodingUtils {
public:
    EncodingUtils(const EncodingUtils&) {}
    EncodingUtils& operator=(const EncodingUtils&) { return *this; }
    virtual ~EncodingUtils();

    // Code page conversions through the system; 0 is the ANSI code page. Input is taken up
    // to its first zero; a failed conversion answers empty text.
    static std::wstring convertMbcsToUnicode(const std::string& bytes, unsigned int codePage);
    static std::string convertUnicodeToMbcs(const std::wstring& text, unsigned int codePage);
    static std::wstring convertUtf8ToUnicode(const std::string& bytes);
    static std::string convertUnicodeToUtf8(const std::wstring& text);
    static std::string convertBase64ToMbcs(const std::string& base64);
    static std::string convertMbcsToBase64(const std::string& bytes);

    // True exactly for "ISO-10646-UCS-2", "UTF-8" and "windows-1252".
    static bool isValidCharacterSet(const std::wstring& name);
    static std::wstring toStringFromLongLong(unsigned long long value);

    // Two upper-case hexadecimal digits per byte. A buffer is written from its position to
    // its limit and left unchanged.
    static std::wstring toHexString(ByteArray& bytes);
    static std::wstring toHexString(ByteBuffer& bytes);
    // Decimal byte values joined by "-". A buffer is written as by toHexString.
    static std::wstring toDelimString(ByteArray& bytes);
    static std::wstring toDelimString(ByteBuffer& bytes);
    // The delimited form for "DelimiteredEncoding", else the hexadecimal form.
    static std::wstring encodeString(ByteArray& bytes, const std::wstring& encoding);
    static boost::shared_ptr<ByteArray> decodeString(const std::wstring& text,
                                                     const std::wstring& encoding);

    // Pairs of hexadecimal digits; other characters count 0. Empty or odd-length text gives
    // an empty result; a buffer that cannot be allocated gives null (buffer readers) or an
    // empty array (array readers).
    static boost::shared_ptr<ByteArray> hexStringToByteArray(const std::wstring& text);
    static boost::shared_ptr<ByteArray> hexStringToByteArray(const std::string& text);
    static boost::shared_ptr<ByteBuffer> hexStringToByteBuffer(const std::wstring& text);
    static boost::shared_ptr<ByteBuffer> hexStringToByteBuffer(const std::string& text);

    // Decimal numbers separated by "-", each stored as its low 8 bits; empty fields store
    // nothing. Any other character makes the text invalid: an empty array or a null buffer.
    static boost::shared_ptr<ByteArray> delimStringToByteArray(const std::wstring& text);
    static boost::shared_ptr<ByteArray> delimStringToByteArray(const std::string& text);
    static boost::shared_ptr<ByteBuffer> delimStringToByteBuffer(const std::wstring& text);
    static boost::shared_ptr<ByteBuffer> delimStringToByteBuffer(const std::string& text);

    // The Windows code page of a language name (exact match), 0 for an unknown name.
    static unsigned int languageToCodePage(const std::wstring& language);

private:
    EncodingUtils() {}

    static std::map<std::wstring, unsigned int>* loadLanguageMap();
};

} // namespace krel_std
