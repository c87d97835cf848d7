#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>

#include "platform/WinCrt.h"
#include "platform/Windows1252.h"

namespace {

std::wstring wideFormat(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::wstring text;
    const bool formatted = krel_platform::formatAppendV(text, format, arguments);
    va_end(arguments);
    return formatted ? text : L"<refused>";
}

std::string narrowFormat(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text;
    const bool formatted = krel_platform::formatAppendV(text, format, arguments);
    va_end(arguments);
    return formatted ? text : "<refused>";
}

bool appendTo(std::wstring& target, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const bool formatted = krel_platform::formatAppendV(target, format, arguments);
    va_end(arguments);
    return formatted;
}

// Formats twice from the same argument list: the engine must not consume the caller's list.
std::wstring formatTwice(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::wstring text;
    krel_platform::formatAppendV(text, format, arguments);
    text += L"|";
    krel_platform::formatAppendV(text, format, arguments);
    va_end(arguments);
    return text;
}

} // namespace

TEST(FormatEngine, WideFormatTakesWideStringsWithLowerCaseS) {
    EXPECT_EQ(wideFormat(L"%s-%ls-%ws", L"a", L"b\u00e9", L"\U0001F600"), L"a-b\u00e9-\U0001F600");
}

TEST(FormatEngine, WideFormatTakesCodePageZeroStringsWithUpperCaseS) {
    EXPECT_EQ(wideFormat(L"%S-%hs", "caf\xe9", "\x80\x81"), L"caf\u00e9-\u20ac\u0081");
}

TEST(FormatEngine, NarrowFormatSwapsTheStringRoles) {
    EXPECT_EQ(narrowFormat("%s-%S-%ls-%hs", "a", L"\u20ac", L"\u0100", "d"), "a-\x80-?-d");
}

TEST(FormatEngine, CharactersFollowTheStringRules) {
    EXPECT_EQ(wideFormat(L"%c%C%lc%hc", L'\u0101', 'x', L'y', '\x9f'), L"\u0101xy\u0178");
    EXPECT_EQ(narrowFormat("%c%C", 'a', L'\u20ac'), "a\x80");
}

TEST(FormatEngine, PointerIsUpperCaseHexWithAtLeastEightDigits) {
    EXPECT_EQ(wideFormat(L"%p", reinterpret_cast<void*>(0xabcU)), L"00000ABC");
    EXPECT_EQ(wideFormat(L"%p", reinterpret_cast<void*>(0x12345abcdeULL)), L"12345ABCDE");
    EXPECT_EQ(wideFormat(L"[%10p]", reinterpret_cast<void*>(1)), L"[  00000001]");
}

TEST(FormatEngine, WindowsSizePrefixesSelectTheArgumentWidth) {
    EXPECT_EQ(wideFormat(L"%I64d %I64u %I64x %I32d", INT64_MIN, UINT64_MAX, 0xFFULL << 32, -7),
              L"-9223372036854775808 18446744073709551615 ff00000000 -7");
    EXPECT_EQ(wideFormat(L"%ld %lu %zu %hd %hhu", LONG_MIN, ULONG_MAX, SIZE_MAX, 70000, 257),
              L"-9223372036854775808 18446744073709551615 18446744073709551615 4464 1");
}

TEST(FormatEngine, FlagsWidthAndPrecisionApply) {
    EXPECT_EQ(wideFormat(L"[%5d|%-5d|%05d|%+d|%#x]", 42, 42, 42, 42, 255),
              L"[   42|42   |00042|+42|0xff]");
    EXPECT_EQ(
        wideFormat(L"[%.3ls|%6ls|%-6hs|%.2f|%10.3e]", L"abcdef", L"ab", "cd", 3.14159, 1234.5),
        L"[abc|    ab|cd    |3.14| 1.234e+03]");
}

TEST(FormatEngine, StarTakesWidthAndPrecisionFromTheArguments) {
    EXPECT_EQ(wideFormat(L"[%*d|%-*ls|%.*ls|%*d]", 4, 7, 3, L"x", 2, L"abc", -3, 1),
              L"[   7|x  |ab|1  ]");
}

TEST(FormatEngine, NullStringsPrintAsNull) {
    EXPECT_EQ(wideFormat(L"%ls %S", static_cast<const wchar_t*>(nullptr),
                         static_cast<const char*>(nullptr)),
              L"(null) (null)");
}

TEST(FormatEngine, PercentPercentIsOnePercentSign) {
    EXPECT_EQ(wideFormat(L"100%% of %d", 3), L"100% of 3");
}

TEST(FormatEngine, RefusesWritingThroughPercentN) {
    int written = 0;
    EXPECT_EQ(wideFormat(L"abc%n", &written), L"<refused>");
    EXPECT_EQ(written, 0);
}

TEST(FormatEngine, RefusesUnknownAndIncompleteConversions) {
    EXPECT_EQ(wideFormat(L"%y", 1), L"<refused>");
    EXPECT_EQ(wideFormat(L"trailing %"), L"<refused>");
    EXPECT_EQ(wideFormat(L"%99999999999d", 1), L"<refused>");
}

TEST(FormatEngine, LeavesTheTargetUnchangedWhenRefused) {
    std::wstring target = L"kept";
    EXPECT_FALSE(appendTo(target, L"%d then %n", 1, nullptr));
    EXPECT_EQ(target, L"kept");
}

TEST(FormatEngine, DoesNotConsumeTheCallersArgumentList) {
    EXPECT_EQ(formatTwice(L"%d-%ls", 5, L"x"), L"5-x|5-x");
}

TEST(CountedFormatter, AnswersTheLengthAndTerminatesWhenTheTextFits) {
    wchar_t buffer[8];
    EXPECT_EQ(_snwprintf(buffer, 8, L"%d", 12345), 5);
    EXPECT_EQ(std::wstring(buffer), L"12345");
}

TEST(CountedFormatter, WritesNoTerminatorWhenTheTextFillsTheCount) {
    wchar_t buffer[4] = {L'x', L'x', L'x', L'#'};
    EXPECT_EQ(_snwprintf(buffer, 3, L"abc"), 3);
    EXPECT_EQ(std::wstring(buffer, 4), L"abc#");
}

TEST(CountedFormatter, AnswersMinusOneWhenTheTextIsLonger) {
    char buffer[5] = {'#', '#', '#', '#', '#'};
    EXPECT_EQ(_snprintf(buffer, 4, "%s", "abcdef"), -1);
    EXPECT_EQ(std::string(buffer, 5), "abcd#");
}

TEST(CountedFormatter, MeasuresWithANullBuffer) {
    EXPECT_EQ(_snwprintf(nullptr, 0, L"%ls!", L"four"), 5);
}

TEST(CountedFormatter, RefusedFormatAnswersMinusOneWithEinval) {
    wchar_t buffer[16];
    errno = 0;
    EXPECT_EQ(_snwprintf(buffer, 16, L"%n", nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(Windows1252, DecodesTheUpperControlRangeAsWindowsDoes) {
    EXPECT_EQ(krel_platform::windows1252ToWide(0x80), L'\u20ac');
    EXPECT_EQ(krel_platform::windows1252ToWide(0x9f), L'\u0178');
    for (unsigned char passThrough : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        EXPECT_EQ(krel_platform::windows1252ToWide(passThrough), static_cast<wchar_t>(passThrough));
    }
}

TEST(Windows1252, EveryByteRoundTrips) {
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<unsigned char>(value);
        unsigned char back = 0;
        ASSERT_TRUE(
            krel_platform::tryWideToWindows1252(krel_platform::windows1252ToWide(byte), back));
        EXPECT_EQ(back, byte);
    }
}

TEST(Windows1252, CharactersOutsideTheCodePageHaveNoByte) {
    unsigned char byte = 0;
    EXPECT_FALSE(krel_platform::tryWideToWindows1252(L'\u0080', byte));
    EXPECT_FALSE(krel_platform::tryWideToWindows1252(L'\u0100', byte));
    EXPECT_EQ(krel_platform::wideToWindows1252String(L"a\u4e00\u20ac"), "a?\x80");
}
