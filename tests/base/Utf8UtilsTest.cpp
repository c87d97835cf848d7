#include "base/Utf8Utils.h"

#include <gtest/gtest.h>

#include "base/EncodingUtils.h"

using krel_std::EncodingUtils;
using krel_std::Utf8Utils;

namespace {

struct Utf8Case {
    std::wstring text;
    std::string bytes;
};

class Utf8RoundTrip : public ::testing::TestWithParam<Utf8Case> {};

} // namespace

TEST_P(Utf8RoundTrip, EncodesAndDecodesEachSequenceLength) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(Utf8Utils::unicodeToUtf8(c.text), c.bytes);
    EXPECT_EQ(Utf8Utils::utf8ToUnicode(c.bytes), c.text);
    EXPECT_TRUE(Utf8Utils::isUtf8String(c.bytes));
    EXPECT_EQ(Utf8Utils::getUtf8StringLength(c.text), c.bytes.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(OneToFourBytes, Utf8RoundTrip,
                         ::testing::Values(Utf8Case{L"a", "a"}, Utf8Case{L"\u00E9", "\xC3\xA9"},
                                           Utf8Case{L"\u20AC", "\xE2\x82\xAC"},
                                           Utf8Case{L"\U0001F600", "\xF0\x9F\x98\x80"},
                                           Utf8Case{L"a\u00E9\u20AC\U0010FFFF",
                                                    "a\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBF"}));

TEST(Utf8Utils, LengthOfEmptyTextCountsOnlyTheTerminator) {
    EXPECT_EQ(Utf8Utils::getUtf8StringLength(L""), 1u);
    EXPECT_EQ(Utf8Utils::getUtf8StringLength(L"a\u20AC"), 5u);
    EXPECT_EQ(Utf8Utils::getUnicodeStringLength(""), 1u);
    EXPECT_EQ(Utf8Utils::getUnicodeStringLength("a\xC3\xA9"), 3u);
}

TEST(Utf8Utils, JoinsThreeByteSurrogatePairIntoOneCharacter) {
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("\xED\xA0\xBD\xED\xB8\x80"), L"\U0001F600");
}

TEST(Utf8Utils, PassesLoneSurrogateThrough) {
    const std::wstring decoded = Utf8Utils::utf8ToUnicode("\xED\xA0\xBDx");
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(static_cast<unsigned>(decoded[0]), 0xD83Du);
    EXPECT_EQ(decoded[1], L'x');
}

TEST(Utf8Utils, InvalidInputGivesEmptyText) {
    for (const std::string bytes : {"\x80", "a\xC3", "\xC3(", "\xE2\x82", "\xF8\x88\x80\x80\x80",
                                    "\xFC\x84\x80\x80\x80\x80", "\xF4\x90\x80\x80", "\xFF"}) {
        EXPECT_EQ(Utf8Utils::utf8ToUnicode(bytes), L"") << bytes;
        EXPECT_FALSE(Utf8Utils::isUtf8String(bytes)) << bytes;
        EXPECT_EQ(EncodingUtils::convertUtf8ToUnicode(bytes), L"") << bytes;
    }
}

TEST(Utf8Utils, OverlongZeroDecodesToAZeroAndSoToEmptyText) {
    EXPECT_TRUE(Utf8Utils::isUtf8String("\xC0\x80"));
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("\xC0\x80"), L"");
}

TEST(Utf8Utils, OverlongFormsDecodeAsTheyStand) {
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("\xC1\xBF"), L"\x7F");
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("a\xE0\x80\xAF"), L"a/");
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("\xE0\x81\x81\xC1\x81"), L"AA");
    EXPECT_TRUE(Utf8Utils::isUtf8String("\xE0\x80\x80"));
}

TEST(Utf8Utils, StopsAtTheFirstZero) {
    EXPECT_EQ(Utf8Utils::utf8ToUnicode(std::string("ab\0\x80", 4)), L"ab");
    EXPECT_EQ(Utf8Utils::unicodeToUtf8(std::wstring(L"ab\0c", 4)), "ab");
}

TEST(Utf8Utils, CharacterBeyondUnicodeEncodesAsReplacementCharacter) {
    const std::wstring text(1, static_cast<wchar_t>(0x110000));
    EXPECT_EQ(Utf8Utils::unicodeToUtf8(text), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8Utils::getUtf8StringLength(text), 4u);
}

namespace {

// Mixed text long enough to cross the decoder's blocks, with sequences of every length
// straddling block ends at many offsets.
std::wstring longMixedText() {
    const wchar_t* const pieces[] = {L"abcdefghij", L"\u00E9", L"\u20AC", L"\U0001F600", L"xyz"};
    std::wstring text;
    for (size_t i = 0; text.size() < 9000; ++i) {
        text += pieces[(i * 7) % 5];
    }
    return text;
}

} // namespace

TEST(Utf8Utils, LongMixedTextRoundTrips) {
    const std::wstring text = longMixedText();
    const std::string bytes = Utf8Utils::unicodeToUtf8(text);
    EXPECT_EQ(bytes.size() + 1, Utf8Utils::getUtf8StringLength(text));
    EXPECT_EQ(Utf8Utils::utf8ToUnicode(bytes), text);
    for (size_t cut = 2040; cut < 2060; ++cut) {
        const std::wstring head = text.substr(0, cut);
        const std::wstring tail = text.substr(cut);
        EXPECT_EQ(Utf8Utils::utf8ToUnicode(Utf8Utils::unicodeToUtf8(head) + "\xF0\x9F\x98\x80" +
                                           Utf8Utils::unicodeToUtf8(tail)),
                  head + L"\U0001F600" + tail);
        EXPECT_EQ(Utf8Utils::utf8ToUnicode(Utf8Utils::unicodeToUtf8(head) + "\xE2\x82" +
                                           Utf8Utils::unicodeToUtf8(tail)),
                  L"");
    }
}

TEST(Utf8Utils, InvalidByteAfterLongAsciiRunGivesEmptyText) {
    const std::string bytes = std::string(4099, 'a') + "\x80" + std::string(20, 'b');
    EXPECT_EQ(Utf8Utils::utf8ToUnicode(bytes), L"");
    EXPECT_FALSE(Utf8Utils::isUtf8String(bytes));
}

TEST(Utf8Utils, TextEndsAtDecodedZeroYetTheRestIsStillChecked) {
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("ab\xC0\x80"
                                       "cd"),
              L"ab");
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("ab\xE0\x80\x80"
                                       "cd"),
              L"ab");
    EXPECT_EQ(Utf8Utils::utf8ToUnicode("ab\xC0\x80\xFF"), L"");
    const std::string ascii(5000, 'a');
    EXPECT_EQ(Utf8Utils::utf8ToUnicode(ascii + "\xC0\x80" + ascii), std::wstring(5000, L'a'));
    EXPECT_EQ(Utf8Utils::utf8ToUnicode(ascii + "\xC0\x80" + ascii + "\xC3"), L"");
}

TEST(Utf8Utils, EncodesLoneSurrogatesAndReplacesBeyondUnicodeWithinLongText) {
    std::wstring text(20, L'a');
    text += static_cast<wchar_t>(0xDC00);
    text += L"bcdefgh";
    text += static_cast<wchar_t>(0x7FFFFFFF);
    text += static_cast<wchar_t>(-1);
    text += std::wstring(20, L'z');
    const std::string expected = std::string(20, 'a') + "\xED\xB0\x80" + "bcdefgh" +
                                 "\xEF\xBF\xBD\xEF\xBF\xBD" + std::string(20, 'z');
    EXPECT_EQ(Utf8Utils::unicodeToUtf8(text), expected);
    EXPECT_EQ(Utf8Utils::getUtf8StringLength(text), expected.size() + 1);
}
