#include <cstring>
#include <gtest/gtest.h>

#include "base/EncodingUtils.h"
#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "platform/WinNls.h"

using krel_std::EncodingUtils;

namespace {

std::string allBytesButZero() {
    std::string bytes;
    for (int b = 1; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    return bytes;
}

} // namespace

TEST(CodePages, AnsiCodePageIsWindows1252) {
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode("\x80\x81\x8D\x8F\x90\x9D\x9F\xE9", 0),
              L"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9");
}

TEST(CodePages, Windows1252RoundTripsEveryByte) {
    const std::string bytes = allBytesButZero();
    const std::wstring text = EncodingUtils::convertMbcsToUnicode(bytes, 0);
    ASSERT_EQ(text.size(), bytes.size());
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(text, 0), bytes);
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(text, 1252), bytes);
}

TEST(CodePages, CharacterOutsideTheCodePageBecomesQuestionMark) {
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(L"a\u0100\U0001F600b", 0), "a??b");
}

TEST(CodePages, OtherCodePagesGoThroughIconv) {
    const std::wstring russian = L"\u041F\u0440\u0438\u0432\u0435\u0442";
    const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(russian, 1251), cp1251);
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode(cp1251, 1251), russian);
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode("\x82\xA0", 932), L"\u3042");
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(L"\u3042", 932), "\x82\xA0");
}

TEST(CodePages, StatefulCodePageEndsTheTextWithAZero) {
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(L"a\u00E9", 65000), "a+AOk-");
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode("a+AOk-", 65000), L"a\u00E9");
    wchar_t wide[4] = {L'x', L'x', L'x', L'x'};
    ASSERT_EQ(MultiByteToWideChar(65000, 0, "a", -1, wide, 4), 2);
    EXPECT_EQ(std::wstring(wide, 2), std::wstring(L"a\0", 2));
}

TEST(CodePages, CharacterAboveFfffGetsTheRoomOfTwoUnits) {
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(L"\U0001F600", 65000), "+2D3eAA-");
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode("+2D3eAA-", 65000), L"\U0001F600");
}

TEST(CodePages, UnknownCodePageGivesEmptyText) {
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode("abc", 4711), L"");
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(L"abc", 4711), "");
    EXPECT_FALSE(IsValidCodePage(4711));
}

TEST(CodePages, ConversionStopsAtFirstZero) {
    EXPECT_EQ(EncodingUtils::convertMbcsToUnicode(std::string("ab\0c", 4), 0), L"ab");
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(std::wstring(L"ab\0c", 4), 0), "ab");
}

TEST(MultiByteToWideChar, AnswersTheSizeNeededForRoomZero) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, nullptr, 0), 2);
}

TEST(MultiByteToWideChar, ReportsShortRoom) {
    wchar_t buffer[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, buffer, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(MultiByteToWideChar, InvalidBytesBecomeReplacementOrFailWhenStrict) {
    wchar_t buffer[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xFF", 2, buffer, 8), 2);
    EXPECT_EQ(static_cast<unsigned>(buffer[1]), 0xFFFDu);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(MultiByteToWideChar, Utf8ValueBeyondUnicodeBecomesReplacementOrFailsWhenStrict) {
    wchar_t buffer[8];
    for (const char* bytes : {"a\xF4\x90\x80\x80", "a\xF8\x88\x80\x80\x80"}) {
        const int count = static_cast<int>(std::strlen(bytes));
        ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes, count, buffer, 8), 2) << bytes;
        EXPECT_EQ(static_cast<unsigned>(buffer[1]), 0xFFFDu);
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, count, buffer, 8), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
}

TEST(WideCharToMultiByte, ReportsUseOfTheDefaultCharacter) {
    char buffer[8] = {};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u0100", 2, buffer, 8, "*", &used), 2);
    EXPECT_EQ(std::string(buffer, 2), "a*");
    EXPECT_TRUE(used);
}

TEST(WideCharToMultiByte, RefusesBadArguments) {
    char buffer[4];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, buffer, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", -1, buffer, 4, nullptr, &used), 0);
}

namespace {

// Converts with the code page call and answers the bytes, or the error for a failed call.
std::string utf8Of(const std::wstring& text, DWORD flags = 0) {
    char buffer[64] = {};
    SetLastError(0);
    const int size = WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()),
                                         buffer, sizeof(buffer), nullptr, nullptr);
    return size > 0 ? std::string(buffer, static_cast<size_t>(size))
                    : "error " + std::to_string(GetLastError());
}

} // namespace

TEST(WideCharToMultiByte, Utf8WritesEachCharacterInOneToFourBytes) {
    EXPECT_EQ(utf8Of(L"a\u00E9\u20AC\U0001F600\U0010FFFF"),
              "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(utf8Of(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(EncodingUtils::convertUnicodeToMbcs(L"\u00E9t\u00E9", CP_UTF8), "\xC3\xA9t\xC3\xA9");
}

TEST(WideCharToMultiByte, Utf8WritesReplacementForValueBeyondUnicode) {
    const std::wstring text = {L'a', static_cast<wchar_t>(0x110000),
                               static_cast<wchar_t>(0x7FFFFFFF), static_cast<wchar_t>(-1), L'b'};
    EXPECT_EQ(utf8Of(text), "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                            "b");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), 5, nullptr, 0, nullptr, nullptr), 11);
}

TEST(WideCharToMultiByte, Utf8WritesReplacementForLoneSurrogate) {
    EXPECT_EQ(utf8Of(std::wstring(1, static_cast<wchar_t>(0xD83D)) + L"x"), "\xEF\xBF\xBDx");
}

TEST(WideCharToMultiByte, Utf8StrictFailsOnWhatItCannotEncode) {
    const std::string failed = "error " + std::to_string(ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(utf8Of(std::wstring(1, static_cast<wchar_t>(0x110000)), WC_ERR_INVALID_CHARS),
              failed);
    EXPECT_EQ(utf8Of(std::wstring(1, static_cast<wchar_t>(0xDC00)), WC_ERR_INVALID_CHARS), failed);
    EXPECT_EQ(utf8Of(L"\U0010FFFF", WC_ERR_INVALID_CHARS), "\xF4\x8F\xBF\xBF");
}

TEST(WideCharToMultiByte, Utf8CountsTheTerminatorAndRefusesShortRoom) {
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
    char buffer[3] = {'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00E9", -1, buffer, 3, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(buffer, 3), std::string("\xC3\xA9\0", 3));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00E9", -1, buffer, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}
