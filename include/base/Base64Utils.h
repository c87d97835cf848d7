// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks when writing; white space
// skipped when reading).
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

namespace krel_std {

class ByteArray;

class Base64Utils {
public:
    Base64Utils(const Base64Utils&) {}
    Base64Utils& operator=(const Base64Utils&) { return *this; }
    virtual ~Base64Utils();

    // Room for the text of n bytes, its padding and a terminating zero: (n / 3) * 4 + 5.
    static unsigned long getBase64StringLength(const std::string& bytes);
    static unsigned long getBase64StringLength(const ByteArray& bytes);
    // (n / 4) * 3 + 1 for a text of n characters.
    static unsigned long getMbcsStringLength(const std::string& base64);

    static std::string mbcsToBase64(const std::string& bytes);
    static std::string byteArrayToBase64(const ByteArray& bytes);
    // The decoded bytes up to the first zero among them; empty for invalid text.
    static std::string base64ToMbcs(const std::string& base64);
    // All decoded bytes; null for invalid text.
    static boost::shared_ptr<ByteArray> base64ToByteArray(const std::string& base64);
    // True when the text passes the decoder's checks (the final check of the bits left over
    // after the padding needs a target, so it is not made here).
    static bool isBase64String(const std::string& text);

private:
    Base64Utils() {}

    static std::string encode(const char* bytes, size_t length, const wchar_t* context);
    static int decode(const std::string& base64, std::string& bytes, const wchar_t* context);
    static int internalMbcsToBase64(const unsigned char* source, unsigned int length, char* target,
                                    unsigned int room);
    static int internalBase64ToMbcs(const char* source, unsigned char* target, unsigned int room);
    static bool storeBits(unsigned char* target, unsigned int room, int state, unsigned int& index,
                          unsigned char bits);
    static int readPadding(const char* source, int state, const unsigned char* target,
                           unsigned int index);
    static int fail(const wchar_t* function, const wchar_t* message);
};

} // namespace krel_std
