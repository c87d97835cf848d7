#include "base/StringUtils.h"

#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "base/ByteArray.h"
#include "exception/FaultTranslator.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "support/AddressSpaceLimit.h"

using krel_std::ByteArray;
using krel_std::KrelIllegalArgumentException;
using krel_std::StringUtils;

TEST(StringUtilsPrefix, HasPrefixIsExactAndAcceptsTheEmptyPrefix) {
    EXPECT_TRUE(StringUtils::hasPrefix(L"appender.file", L"appender."));
    EXPECT_TRUE(StringUtils::hasPrefix(L"abc", L""));
    EXPECT_FALSE(StringUtils::hasPrefix(L"Appender.file", L"appender."));
    EXPECT_FALSE(StringUtils::hasPrefix(L"ab", L"abc"));
}

TEST(StringUtilsPrefix, TrimPrefixAnswersEmptyTextWithoutThePrefix) {
    EXPECT_EQ(StringUtils::trimPrefix(L"appender.file.class", L"appender."), L"file.class");
    EXPECT_EQ(StringUtils::trimPrefix(L"modules", L"appender."), L"");
}

TEST(StringUtilsText, QuotedPrefixKeepsAShortTextAndCutsALongOneWithAnEllipsis) {
    const std::wstring limit(StringUtils::QUOTED_TEXT_LIMIT, L'x');
    EXPECT_EQ(StringUtils::quotedPrefix(limit), limit);
    EXPECT_EQ(StringUtils::quotedPrefix(limit + L"yz"), limit + L"\u2026");
    EXPECT_EQ(StringUtils::quotedPrefix(L""), L"");
}

TEST(StringUtilsText, NullCheckedStringNamesANullPointer) {
    EXPECT_EQ(StringUtils::nullCheckedString(nullptr), L"NULL");
    EXPECT_EQ(StringUtils::nullCheckedString(L"x"), L"x");
}

TEST(StringUtilsText, DigitAndHexadecimalClassesAcceptTheEmptyText) {
    EXPECT_TRUE(StringUtils::isDigits(L"0123456789"));
    EXPECT_TRUE(StringUtils::isDigits(L""));
    EXPECT_FALSE(StringUtils::isDigits(L"12a"));
    EXPECT_FALSE(StringUtils::isDigits(L"\u0661"));
    EXPECT_TRUE(StringUtils::isHexadecimal(L"09afAF"));
    EXPECT_TRUE(StringUtils::isHexadecimal(L""));
    EXPECT_FALSE(StringUtils::isHexadecimal(L"0x1F"));
}

TEST(StringUtilsText, TrimStringChangesItsArgumentAndAnswersTheResult) {
    std::wstring text = L" \t\u3000value with blanks\u2003\r\n";
    EXPECT_EQ(StringUtils::trimString(text), L"value with blanks");
    EXPECT_EQ(text, L"value with blanks");
    std::wstring blanks = L" \t ";
    EXPECT_EQ(StringUtils::trimString(blanks), L"");
}

TEST(StringUtilsFormat, AppendsTheFormattedText) {
    std::wstring target = L"start:";
    StringUtils::sprintfStringAppend(target, L"%ls=%d (%S)", L"key", -12, "narrow");
    EXPECT_EQ(target, L"start:key=-12 (narrow)");
}

TEST(StringUtilsFormat, TextOfExactly256CharactersIsAppendedWhole) {
    const std::wstring piece(256, L'x');
    std::wstring target;
    StringUtils::sprintfStringAppend(target, L"%ls", piece.c_str());
    EXPECT_EQ(target, piece);
}

TEST(StringUtilsFormat, LongTextIsAppendedWhole) {
    const std::wstring piece(100000, L'y');
    std::wstring target = L"<";
    StringUtils::sprintfStringAppend(target, L"%ls>%d", piece.c_str(), 7);
    EXPECT_EQ(target, L"<" + piece + L">7");
}

TEST(StringUtilsFormat, NullFormatIsRefused) {
    std::wstring target;
    try {
        StringUtils::sprintfStringAppend(target, nullptr);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Format string cannot be null!");
    }
}

TEST(StringUtilsFormat, UnformattableFormatIsRefusedAndTheTargetKept) {
    std::wstring target = L"kept";
    int count = 0;
    try {
        StringUtils::sprintfStringAppend(target, L"abc%n", &count);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Unable to format string: abc%n");
    }
    EXPECT_EQ(target, L"kept");
    EXPECT_EQ(count, 0);
}

// On a library thread a bad string pointer faults inside the formatting; the fault arrives as
// the cause of the format error and the target keeps its text.
TEST(StringUtilsFormat, FaultWhileFormattingBecomesTheCauseOfTheFormatError) {
    std::wstring message;
    std::wstring causeClass;
    std::wstring target = L"kept";
    std::thread worker([&] {
        krel_std::KrelException::installHandler();
        krel_std_internal::FaultTranslator::ActiveScope active(true);
        const wchar_t* volatile unmapped = reinterpret_cast<const wchar_t*>(8);
        try {
            StringUtils::sprintfStringAppend(target, L"<%ls>", unmapped);
        } catch (const KrelIllegalArgumentException& exception) {
            message = exception.getMessage();
            std::unique_ptr<krel_std::KrelException> cause(exception.getNestedException());
            causeClass = cause ? cause->getClassName() : L"<none>";
        }
    });
    worker.join();
    EXPECT_EQ(message.find(L"Unable to format string: <%ls>: The thread tried to read"), 0u)
        << message;
    EXPECT_EQ(causeClass, L"com.vandrel.exception.KrelAccessException");
    EXPECT_EQ(target, L"kept");
}

namespace {

// A width whose text (8 GB of wide characters) cannot be had in the child's address space.
std::string hugeWidthThrowsOutOfResourcesAndKeepsTheTarget() {
    std::wstring target = L"kept";
    try {
        StringUtils::sprintfStringAppend(target, L"%*d", 2000000000, 1);
        return "a text of 8 GB was made";
    } catch (const krel_std::KrelOutOfResourcesException& exception) {
        if (exception.getMessage() != L"Unable to allocate enough memory to print log statement.") {
            return "wrong message";
        }
        return target == L"kept" ? "" : "target changed";
    }
}

class StringUtilsFormatUnderMemoryLimit : public ::testing::Test {
protected:
    void SetUp() override {
        if (krel_test::addressSanitizerActive()) {
            GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
        }
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

} // namespace

TEST_F(StringUtilsFormatUnderMemoryLimit, HugeWidthThrowsOutOfResourcesAndKeepsTheTarget) {
    EXPECT_EXIT(krel_test::exitWithCheckUnderLimit(1ULL << 30,
                                                   hugeWidthThrowsOutOfResourcesAndKeepsTheTarget),
                ::testing::ExitedWithCode(0), "");
}

TEST(StringUtilsFormat, TextLongerThanIntMaxIsRefused) {
    std::wstring target = L"kept";
    EXPECT_THROW(StringUtils::sprintfStringAppend(target, L"%.*d%.*d", INT_MAX, 1, 1, 2),
                 KrelIllegalArgumentException);
    EXPECT_EQ(target, L"kept");
}

TEST(StringUtilsSize, UnitsInAnyCaseMultiply) {
    EXPECT_EQ(StringUtils::convertSizeString(L"10 kb", 0), 10240);
    EXPECT_EQ(StringUtils::convertSizeString(L" 1.5MB ", 0), 1572864);
    EXPECT_EQ(StringUtils::convertSizeString(L"1gB", 0), 1073741824);
    EXPECT_EQ(StringUtils::convertSizeString(L"4096", 0), 4096);
}

TEST(StringUtilsSize, ResultsBeyondIntAreClamped) {
    EXPECT_EQ(StringUtils::convertSizeString(L"2 GB", 0), INT_MAX);
    EXPECT_EQ(StringUtils::convertSizeString(L"1e300 GB", 0), INT_MAX);
    EXPECT_EQ(StringUtils::convertSizeString(L"-1e300", 0), INT_MIN);
}

TEST(StringUtilsSize, MissingNumberFallsBackToTheDefault) {
    EXPECT_EQ(StringUtils::convertSizeString(L"KB", 77), 77);
    EXPECT_EQ(StringUtils::convertSizeString(L"", 77), 77);
    EXPECT_EQ(StringUtils::convertSizeString(L" \t ", 77), 77);
    EXPECT_EQ(StringUtils::convertSizeString(L"many MB", 3), 3 * 1048576);
}

TEST(StringUtilsSize, OnlyAsciiLettersAreUpperCased) {
    // U+016B cut to a single byte would read as 'k' and make a unit of "\u016Bb".
    EXPECT_EQ(StringUtils::convertSizeString(L"5 \u016Bb", 9), 5);
}

TEST(StringUtilsValues, ToWStringWritesStreamTexts) {
    EXPECT_EQ(StringUtils::toWString(true), L"true");
    EXPECT_EQ(StringUtils::toWString(-42), L"-42");
    EXPECT_EQ(StringUtils::toWString(18446744073709551615ULL), L"18446744073709551615");
    EXPECT_EQ(StringUtils::toWString(1.0 / 3.0), L"0.333333");
    EXPECT_EQ(StringUtils::toWString(1e20), L"1e+20");
}

TEST(StringUtilsValues, ToWStringWritesPointersAsUpperCaseHex) {
    EXPECT_EQ(StringUtils::toWString(reinterpret_cast<void*>(0xbeefU)), L"0000BEEF");
    EXPECT_EQ(StringUtils::toWString(static_cast<const void*>(nullptr)), L"00000000");
}

TEST(StringUtilsValues, ParseNumberReadsALeadingNumber) {
    EXPECT_EQ(StringUtils::parseNumber<int>(L"42abc", -1), 42);
    EXPECT_EQ(StringUtils::parseNumber<int>(L"  \t7", -1), 7);
    EXPECT_DOUBLE_EQ(StringUtils::parseNumber<double>(L"2.5e3 units", 0.0), 2500.0);
    EXPECT_EQ(StringUtils::parseNumber<long long>(L"-9000000000", 0), -9000000000LL);
}

TEST(StringUtilsValues, ParseNumberAnswersTheDefaultWithoutANumber) {
    EXPECT_EQ(StringUtils::parseNumber<int>(L"abc", -1), -1);
    EXPECT_EQ(StringUtils::parseNumber<int>(L"", 5), 5);
    EXPECT_EQ(StringUtils::parseNumber<int>(L"99999999999", 5), 5);
}

TEST(StringUtilsLines, MixedLineEndsSplitLikeLineFeeds) {
    const ByteArray mixed(std::string("one\r\ntwo\rthree\n\nfive\n"));
    const ByteArray plain(std::string("one\ntwo\nthree\n\nfive\n"));
    const std::vector<std::wstring> expected = {L"one", L"two", L"three", L"", L"five", L""};
    EXPECT_EQ(StringUtils::getLines(mixed, L"windows-1252"), expected);
    EXPECT_EQ(StringUtils::getLines(plain, L"windows-1252"), expected);
}

TEST(StringUtilsLines, EmptyTextHasNoLines) {
    EXPECT_TRUE(StringUtils::getLines(ByteArray(), L"UTF-8").empty());
}

TEST(StringUtilsLines, LinesAreDecodedWithTheCharset) {
    const ByteArray bytes(std::string("caf\xc3\xa9\nx"));
    const std::vector<std::wstring> expected = {L"caf\u00e9", L"x"};
    EXPECT_EQ(StringUtils::getLines(bytes, L"UTF-8"), expected);
}

TEST(StringUtilsLines, DecodedZeroDoesNotEndTheText) {
    const std::vector<std::wstring> expected = {std::wstring(L"a\0b", 3), L"c"};
    EXPECT_EQ(StringUtils::getLines(ByteArray(std::string("a\xC0\x80"
                                                          "b\nc")),
                                    L"UTF-8"),
              expected);
    EXPECT_EQ(StringUtils::getLines(ByteArray(std::string("a\xE0\x80\x80"
                                                          "b\nc")),
                                    L"UTF-8"),
              expected);
    EXPECT_EQ(StringUtils::getLines(ByteArray(std::string("a\0b\nc", 5)), L"windows-1252"),
              expected);
}

TEST(StringUtilsLines, InvalidBytesAfterADecodedZeroGiveNoLines) {
    EXPECT_TRUE(StringUtils::getLines(ByteArray(std::string("a\xC0\x80\xFF")), L"UTF-8").empty());
}

TEST(StringUtilsLines, LineSeparatorIsTheFirstOneUsed) {
    EXPECT_EQ(StringUtils::getLineSeparator(ByteArray(std::string("a\r\nb\nc")), L"UTF-8"),
              L"\r\n");
    EXPECT_EQ(StringUtils::getLineSeparator(ByteArray(std::string("a\rb\r\n")), L"UTF-8"), L"\r");
    EXPECT_EQ(StringUtils::getLineSeparator(ByteArray(std::string("a\nb\r\n")), L"UTF-8"), L"\n");
    EXPECT_EQ(StringUtils::getLineSeparator(ByteArray(std::string("no end")), L"UTF-8"), L"");
}
