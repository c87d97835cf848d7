#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "base/Object.h"
#include "platform/DebugOutput.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "support/DebugOutputCapture.h"

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD otherThreadError = 1;
    std::thread other([&] { otherThreadError = GetLastError(); });
    other.join();
    EXPECT_EQ(otherThreadError, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(ThreadIdentity, DiffersBetweenThreadsAndIsStable) {
    const DWORD mine = GetCurrentThreadId();
    DWORD theirs = mine;
    std::thread other([&] { theirs = GetCurrentThreadId(); });
    other.join();
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(mine, GetCurrentThreadId());
    EXPECT_EQ(GetCurrentProcessId(), GetCurrentThreadId()) << "the main test thread leads";
}

TEST(ThreadIdentity, ForkedChildAnswersItsOwnId) {
    ASSERT_EQ(GetCurrentThreadId(), GetCurrentProcessId());
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        _exit(GetCurrentThreadId() == static_cast<DWORD>(getpid()) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(DebugOutput, ReachesTheInstalledHookInBothWidths) {
    krel_test::DebugOutputCapture capture;
    OutputDebugStringW(L"wide \u00e9\n");
    OutputDebugStringA("narrow \xc3\xa9\n");
    OutputDebugStringW(nullptr);
    EXPECT_EQ(capture.all(), L"wide \u00e9\nnarrow \u00e9\n");
}

TEST(DebugOutput, IsHeardWhileAHookIsInstalled) {
    if (std::getenv("KREL_DEBUG_OUTPUT") != nullptr) {
        GTEST_SKIP() << "KREL_DEBUG_OUTPUT makes the output heard without a hook";
    }
    EXPECT_FALSE(krel_platform::isDebugOutputHeard());
    {
        krel_test::DebugOutputCapture capture;
        EXPECT_TRUE(krel_platform::isDebugOutputHeard());
    }
    EXPECT_FALSE(krel_platform::isDebugOutputHeard());
}

TEST(Utf16Conversion, JoinsAndSplitsSurrogatePairs) {
    const std::wstring text = L"a\U0001F600z";
    const std::u16string utf16 = krel_platform::wideToUtf16(text);
    ASSERT_EQ(utf16.size(), 4u);
    EXPECT_EQ(utf16[1], 0xD83D);
    EXPECT_EQ(utf16[2], 0xDE00);
    EXPECT_EQ(krel_platform::utf16ToWide(utf16), text);
}

TEST(Utf16Conversion, PassesLoneSurrogatesThrough) {
    const std::u16string lone = {u'a', 0xD800, u'b', 0xDC00};
    const std::wstring wide = krel_platform::utf16ToWide(lone);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[1], 0xD800);
    EXPECT_EQ(krel_platform::wideToUtf16(wide), lone);
}

TEST(Utf16Conversion, JoinsAPairStartingAtAnyPlaceOfALongText) {
    for (size_t at = 0; at + 2 <= 19; ++at) {
        std::u16string units(19, u'a');
        units[at] = 0xD83D;
        units[at + 1] = 0xDE00;
        std::wstring expected(18, L'a');
        expected[at] = L'\U0001F600';
        EXPECT_EQ(krel_platform::utf16ToWide(units), expected) << "pair at " << at;
    }
}

TEST(Utf16Conversion, PassesALoneSurrogateAfterALongPlainRunThrough) {
    std::u16string units(13, u'b');
    units[9] = 0xDFFF;
    const std::wstring wide = krel_platform::utf16ToWide(units);
    ASSERT_EQ(wide.size(), 13u);
    EXPECT_EQ(wide[9], 0xDFFF);
    EXPECT_EQ(wide[12], L'b');
}

TEST(Utf16Conversion, WidensUnitsBesideTheSurrogateRangeUnchanged) {
    const std::u16string units = {0x0001, 0xD7FF, 0xE000,          0xFFFF, 0xF800, 0x5800,
                                  0xD000, 0x0000, 0xDBFF - 0xD800, 0x7FFF, 0x8000, u'z'};
    const std::wstring wide = krel_platform::utf16ToWide(units);
    ASSERT_EQ(wide.size(), units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(static_cast<char16_t>(wide[i]), units[i]) << "unit " << i;
    }
}

TEST(Utf8Conversion, RoundTripsEverySequenceLength) {
    const std::wstring text = L"A\u00e9\u20ac\U0001F600";
    const std::string bytes = krel_platform::wideToUtf8(text);
    EXPECT_EQ(bytes, "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(krel_platform::utf8ToWide(bytes), text);
}

TEST(Utf8Conversion, ReplacesInvalidBytes) {
    EXPECT_EQ(krel_platform::utf8ToWide("a\xff"
                                        "b"),
              L"a\uFFFDb");
    EXPECT_EQ(krel_platform::utf8ToWide("\xe2\x82"), L"\uFFFD\uFFFD");
}

TEST(Utf8Conversion, RefusesOverlongFormsAndCodePointsBeyondUnicode) {
    // E0 80 AF is an overlong '/', F4 90 80 80 would be U+110000.
    EXPECT_EQ(krel_platform::utf8ToWide("a\xe0\x80\xaf"), L"a\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(krel_platform::utf8ToWide("\xf0\x8f\xbf\xbf"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(krel_platform::utf8ToWide("\xf4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(krel_platform::utf8ToWide("\xf4\x8f\xbf\xbf"), L"\U0010FFFF");
}

TEST(Utf8Conversion, LoneSurrogatesRoundTrip) {
    const std::wstring lone(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(krel_platform::utf8ToWide(krel_platform::wideToUtf8(lone)), lone);
}

TEST(Utf8Conversion, LoneSurrogateIsWrittenInThreeBytes) {
    const std::wstring lone(1, static_cast<wchar_t>(0xDC01));
    EXPECT_EQ(krel_platform::wideToUtf8(lone), "\xed\xb0\x81");
}

TEST(Utf8Conversion, ValuesBeyondUnicodeBecomeTheReplacementCharacter) {
    std::wstring text = L"0123456789";
    text += static_cast<wchar_t>(0x110000);
    text += static_cast<wchar_t>(-1);
    text += L"\u00e9";
    EXPECT_EQ(krel_platform::wideToUtf8(text), "0123456789\xef\xbf\xbd\xef\xbf\xbd\xc3\xa9");
}

TEST(RootObject, PrintsItsNameAndAssignsNothing) {
    krel_std::Object a;
    krel_std::Object b;
    a = b;
    EXPECT_EQ(a.toString(), L"Object{}");
    EXPECT_EQ(b.toString(), L"Object{}");
}
