#include "base/EncodingUtils.h"

#include <gtest/gtest.h>

#include "base/ByteArray.h"
#include "base/ByteBuffer.h"

using krel_std::ByteArray;
using krel_std::ByteBuffer;
using krel_std::EncodingUtils;

namespace {

ByteArray bytesOf(const std::string& bytes) {
    return ByteArray(bytes);
}

} // namespace

TEST(EncodingUtils, WritesHexadecimalAndDelimitedForms) {
    ByteArray bytes = bytesOf(std::string("\x01\xFF\x00", 3));
    EXPECT_EQ(EncodingUtils::toHexString(bytes), L"01FF00");
    EXPECT_EQ(EncodingUtils::toDelimString(bytes), L"1-255-0");
    ByteArray empty;
    EXPECT_EQ(EncodingUtils::toHexString(empty), L"");
    EXPECT_EQ(EncodingUtils::toDelimString(empty), L"");
}

TEST(EncodingUtils, EncodeStringChoosesDelimitedFormOnlyForExactName) {
    ByteArray bytes = bytesOf("\x0A\xFF");
    EXPECT_EQ(EncodingUtils::encodeString(bytes, L"DelimiteredEncoding"), L"10-255");
    EXPECT_EQ(EncodingUtils::encodeString(bytes, L"delimiteredencoding"), L"0AFF");
    EXPECT_EQ(*EncodingUtils::decodeString(L"10-255", L"DelimiteredEncoding"), bytes);
    EXPECT_EQ(*EncodingUtils::decodeString(L"0AFF", L"hex"), bytes);
}

TEST(EncodingUtils, HexReadersCountInvalidCharactersAsZero) {
    EXPECT_EQ(EncodingUtils::hexStringToByteArray(L"0aFF")->toString(), std::string("\x00\xFF", 2));
    EXPECT_EQ(EncodingUtils::hexStringToByteArray(std::string("\xE9"
                                                              "1"))
                  ->toString(),
              std::string("\x01", 1));
    EXPECT_EQ(EncodingUtils::hexStringToByteArray(L"ABC")->getLength(), 0);
    EXPECT_EQ(EncodingUtils::hexStringToByteArray(std::string())->getLength(), 0);
}

TEST(EncodingUtils, HexBufferReaderAnswersAFlippedBuffer) {
    boost::shared_ptr<ByteBuffer> buffer = EncodingUtils::hexStringToByteBuffer("12AB");
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->getPosition(), 0);
    EXPECT_EQ(buffer->getLimit(), 2);
    EXPECT_EQ(buffer->getShort(), 0x12AB);
    EXPECT_EQ(EncodingUtils::hexStringToByteBuffer(L"ABC")->getCapacity(), 0);
}

TEST(EncodingUtils, DelimitedReadersKeepLowBitsAndSkipEmptyFields) {
    EXPECT_EQ(EncodingUtils::delimStringToByteArray(L"1--2-")->toString(), "\x01\x02");
    EXPECT_EQ(EncodingUtils::delimStringToByteArray("300")->toString(), "\x2C");
    EXPECT_EQ(EncodingUtils::delimStringToByteArray("256-257")->toString(),
              std::string("\x00\x01", 2));
    EXPECT_EQ(EncodingUtils::delimStringToByteArray(L"99999999999")->toString(), "\xFF");
}

TEST(EncodingUtils, DelimitedReadersRejectOtherCharacters) {
    EXPECT_EQ(EncodingUtils::delimStringToByteArray(L"1,2")->getLength(), 0);
    EXPECT_EQ(EncodingUtils::delimStringToByteArray(" 1")->getLength(), 0);
    EXPECT_FALSE(EncodingUtils::delimStringToByteBuffer(L"1,2"));
    EXPECT_FALSE(EncodingUtils::delimStringToByteBuffer("-1x"));
}

TEST(EncodingUtils, DelimitedBufferReaderAnswersAFlippedBuffer) {
    boost::shared_ptr<ByteBuffer> buffer = EncodingUtils::delimStringToByteBuffer(L"7-8");
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->getCapacity(), 3);
    EXPECT_EQ(buffer->remaining(), 2);
    EXPECT_EQ(buffer->get(), 7);
    EXPECT_EQ(EncodingUtils::delimStringToByteBuffer(std::string())->getCapacity(), 0);
}

TEST(EncodingUtils, BufferWritersTakePositionToLimitAndLeaveBufferUnchanged) {
    boost::shared_ptr<ByteBuffer> buffer = ByteBuffer::allocate(4);
    buffer->putInt(0x0102A0FF);
    buffer->setPosition(1);
    EXPECT_EQ(EncodingUtils::toHexString(*buffer), L"02A0FF");
    EXPECT_EQ(EncodingUtils::toDelimString(*buffer), L"2-160-255");
    EXPECT_EQ(buffer->getPosition(), 1);
    buffer->setPosition(3);
    buffer->reset();
    EXPECT_EQ(buffer->getPosition(), 3) << "no mark may be left set";
}

TEST(EncodingUtils, KnowsExactlyThreeCharsetNames) {
    EXPECT_TRUE(EncodingUtils::isValidCharacterSet(L"ISO-10646-UCS-2"));
    EXPECT_TRUE(EncodingUtils::isValidCharacterSet(L"UTF-8"));
    EXPECT_TRUE(EncodingUtils::isValidCharacterSet(L"windows-1252"));
    EXPECT_FALSE(EncodingUtils::isValidCharacterSet(L"utf-8"));
    EXPECT_FALSE(EncodingUtils::isValidCharacterSet(L""));
}

TEST(EncodingUtils, MapsLanguagesToCodePages) {
    EXPECT_EQ(EncodingUtils::languageToCodePage(L"Russian"), 1251u);
    EXPECT_EQ(EncodingUtils::languageToCodePage(L"Traditional Chinese"), 950u);
    EXPECT_EQ(EncodingUtils::languageToCodePage(L"Brazilian Portuguese"), 1252u);
    EXPECT_EQ(EncodingUtils::languageToCodePage(L"russian"), 0u);
}

TEST(EncodingUtils, WritesUnsignedDecimal) {
    EXPECT_EQ(EncodingUtils::toStringFromLongLong(18446744073709551615ull),
              L"18446744073709551615");
    EXPECT_EQ(EncodingUtils::toStringFromLongLong(0), L"0");
}
