#include "base/Base64Utils.h"

#include <gtest/gtest.h>

#include "base/ByteArray.h"
#include "base/EncodingUtils.h"

using krel_std::Base64Utils;
using krel_std::ByteArray;

TEST(Base64Utils, RoundTripsEveryPaddingLength) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    for (size_t n = 0; n <= all.size(); n += 37) {
        const std::string bytes = all.substr(all.size() - n);
        const std::string text = Base64Utils::mbcsToBase64(bytes);
        EXPECT_EQ(text.size() % 4, 0u);
        EXPECT_EQ(text.find_first_not_of(alphabet + "="), std::string::npos);
        const boost::shared_ptr<ByteArray> decoded = Base64Utils::base64ToByteArray(text);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->toString(), bytes);
    }
}

TEST(Base64Utils, EncodesKnownTexts) {
    EXPECT_EQ(Base64Utils::mbcsToBase64(""), "");
    EXPECT_EQ(Base64Utils::mbcsToBase64("a"), "YQ==");
    EXPECT_EQ(Base64Utils::mbcsToBase64("ab"), "YWI=");
    EXPECT_EQ(Base64Utils::mbcsToBase64("abc"), "YWJj");
    EXPECT_EQ(Base64Utils::byteArrayToBase64(ByteArray(std::string("\xFB\xFF", 2))), "+/8=");
}

TEST(Base64Utils, ComputesBufferLengths) {
    EXPECT_EQ(Base64Utils::getBase64StringLength(std::string()), 5u);
    EXPECT_EQ(Base64Utils::getBase64StringLength(std::string("abc")), 9u);
    EXPECT_EQ(Base64Utils::getBase64StringLength(ByteArray(4L)), 9u);
    EXPECT_EQ(Base64Utils::getMbcsStringLength("YWJjYWJj"), 7u);
}

TEST(Base64Utils, SkipsWhiteSpace) {
    EXPECT_EQ(Base64Utils::base64ToMbcs("YW Jj\r\n"), "abc");
    EXPECT_EQ(Base64Utils::base64ToMbcs("YQ= ="), "a");
    EXPECT_EQ(Base64Utils::base64ToMbcs("\tY\nQ==  "), "a");
    EXPECT_TRUE(Base64Utils::isBase64String(""));
    EXPECT_EQ(Base64Utils::base64ToMbcs(""), "");
}

TEST(Base64Utils, RejectsMalformedTexts) {
    for (const std::string text :
         {"YQ", "YQ=", "YQ==a", "YR==", "=YQ", "Y$Q=", "Y===", "YWJ\xC3"}) {
        EXPECT_EQ(Base64Utils::base64ToMbcs(text), "") << text;
        EXPECT_FALSE(Base64Utils::base64ToByteArray(text)) << text;
    }
}

TEST(Base64Utils, CheckWithoutTargetAcceptsLeftoverBitsAfterPadding) {
    EXPECT_TRUE(Base64Utils::isBase64String("YR=="));
    EXPECT_FALSE(Base64Utils::isBase64String("YQ"));
    EXPECT_FALSE(Base64Utils::isBase64String("Y$=="));
}

TEST(Base64Utils, NarrowResultStopsAtFirstZeroWhileByteArrayKeepsAll) {
    const std::string text = Base64Utils::mbcsToBase64(std::string("A\0B", 3));
    EXPECT_EQ(Base64Utils::base64ToMbcs(text), "A");
    EXPECT_EQ(krel_std::EncodingUtils::convertBase64ToMbcs(text), "A");
    EXPECT_EQ(Base64Utils::base64ToByteArray(text)->toString(), std::string("A\0B", 3));
}

namespace {

// Every byte value many times over, so that a text runs through many whole groups.
std::string longBytes() {
    std::string bytes;
    for (int i = 0; i < 3000; ++i) {
        bytes.push_back(static_cast<char>((i * 37 + 11) % 256));
    }
    return bytes;
}

} // namespace

TEST(Base64Utils, LongTextDecodesTheSameWithLineBreaksAnywhere) {
    const std::string bytes = longBytes();
    const std::string text = Base64Utils::mbcsToBase64(bytes);
    for (size_t width : {76u, 7u, 1u}) {
        std::string wrapped;
        for (size_t i = 0; i < text.size(); i += width) {
            wrapped += text.substr(i, width) + "\r\n";
        }
        const boost::shared_ptr<ByteArray> decoded = Base64Utils::base64ToByteArray(wrapped);
        ASSERT_TRUE(decoded) << width;
        EXPECT_EQ(decoded->toString(), bytes) << width;
    }
}

TEST(Base64Utils, FaultAfterManyWholeGroupsIsStillFound) {
    const std::string groups = Base64Utils::mbcsToBase64(std::string(300, 'x'));
    for (const std::string tail : {"Y$Q=", "YR==", "YQ", "YQ=", "YQ==a", "=YQ="}) {
        EXPECT_FALSE(Base64Utils::base64ToByteArray(groups + tail)) << tail;
        EXPECT_EQ(Base64Utils::base64ToMbcs(groups + tail), "") << tail;
    }
    EXPECT_TRUE(Base64Utils::isBase64String(groups + "YR=="));
    EXPECT_FALSE(Base64Utils::isBase64String(groups + "YQ"));
    EXPECT_EQ(Base64Utils::base64ToMbcs(groups + "YQ=="), std::string(300, 'x') + "a");
}

TEST(Base64Utils, NarrowResultOfLongTextStopsAtItsFirstZero) {
    std::string bytes(1000, 'b');
    bytes[700] = '\0';
    const std::string text = Base64Utils::mbcsToBase64(bytes);
    EXPECT_EQ(Base64Utils::base64ToMbcs(text), std::string(700, 'b'));
    EXPECT_EQ(Base64Utils::base64ToByteArray(text)->toString(), bytes);
}
