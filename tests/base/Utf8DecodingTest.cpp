// MultiByteToWideChar decodes UTF-8 with a codec of its own; glibc's iconv is the reference for
// what a valid form is, what becomes U+FFFD and where decoding goes on after an invalid byte.
#include <cerrno>
#include <gtest/gtest.h>
#include <iconv.h>
#include <random>
#include <string>
#include <vector>

#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "platform/WinNls.h"

namespace {

// The reference: iconv's decoder, with every invalid or truncated sequence replaced by U+FFFD
// and decoding resumed after its first byte, and every value beyond U+10FFFF replaced.
std::wstring referenceDecode(const std::string& bytes) {
    iconv_t handle = iconv_open("WCHAR_T", "UTF-8");
    std::wstring text;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    std::vector<wchar_t> block(bytes.size() + 1);
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(block.data());
        size_t outLeft = block.size() * sizeof(wchar_t);
        const size_t result = iconv(handle, &in, &inLeft, &out, &outLeft);
        text.append(block.data(), reinterpret_cast<wchar_t*>(out) - block.data());
        if (result == static_cast<size_t>(-1)) {
            text.push_back(0xFFFD);
            ++in;
            --inLeft;
            iconv(handle, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(handle);
    for (wchar_t& c : text) {
        if (static_cast<uint32_t>(c) > 0x10FFFF) {
            c = 0xFFFD;
        }
    }
    return text;
}

std::wstring decode(const std::string& bytes) {
    const int count = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, &text[0], size), size);
    return text;
}

bool decodesStrictly(const std::string& bytes) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                               static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char b : bytes) {
        text += "0123456789ABCDEF"[b >> 4];
        text += "0123456789ABCDEF"[b & 15];
    }
    return text;
}

// Bytes that probe every edge of the forms: ASCII, continuation bytes at both ends, every lead.
const unsigned char EDGES[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                               0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4,
                               0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};

} // namespace

TEST(Utf8Decoding, EveryTwoByteSequenceDecodesAsIconvReadsIt) {
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::string bytes{static_cast<char>(first), static_cast<char>(second)};
            ASSERT_EQ(decode(bytes), referenceDecode(bytes)) << hex(bytes);
        }
    }
}

TEST(Utf8Decoding, SequencesOfEdgeBytesDecodeAsIconvReadsThem) {
    std::string bytes(4, '\0');
    for (unsigned char a : EDGES) {
        for (unsigned char b : EDGES) {
            for (unsigned char c : EDGES) {
                for (unsigned char d : EDGES) {
                    bytes = {char(a), char(b), char(c), char(d), '\x80', '\x80'};
                    ASSERT_EQ(decode(bytes), referenceDecode(bytes)) << hex(bytes);
                }
            }
        }
    }
}

TEST(Utf8Decoding, RandomTextsDecodeAsIconvReadsThem) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 64);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        for (int i = length(random); i > 0; --i) {
            // Mostly ASCII and continuation bytes, as in real text and in the fast path's runs.
            const int b = byte(random);
            bytes.push_back(static_cast<char>(b < 128 ? b / 2 : b));
        }
        ASSERT_EQ(decode(bytes), referenceDecode(bytes)) << hex(bytes);
        ASSERT_EQ(decodesStrictly(bytes) || bytes.empty(),
                  referenceDecode(bytes).find(L'\xFFFD') == std::wstring::npos)
            << hex(bytes);
    }
}

TEST(Utf8Decoding, ShortRoomFailsAfterAnInvalidSequenceIsReportedFirst) {
    wchar_t buffer[4];
    const std::string bytes = std::string(16, 'a') + "\xFF";
    const int count = static_cast<int>(bytes.size());
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, buffer, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), count, buffer, 4),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}
