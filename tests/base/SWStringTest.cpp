#include "base/SWString.h"

#include <cstring>
#include <gtest/gtest.h>

using KrelStd::SWString;

TEST(SWString, NarrowFormRoundTripsThroughTheAnsiCodePage) {
    const SWString text(L"caf\u00E9 \u20AC");
    EXPECT_STREQ(text.mb_str(0), "caf\xE9 \x80");
    EXPECT_EQ(SWString("caf\xE9 \x80", KrelStd::CT_ANSI, 0), text);
    EXPECT_TRUE(SWString(L"\u00E9") == "\xE9");
    EXPECT_TRUE(SWString(L"\u00E9") != "e");
}

TEST(SWString, Utf8FormRoundTrips) {
    const SWString text(L"\u00E9\u20AC\U0001F600");
    SWString back;
    EXPECT_TRUE(back.SetUTF8(text.utf8_str()));
    EXPECT_EQ(back, text);
    EXPECT_EQ(SWString(text.utf8_str(), KrelStd::CT_UTF8, 0), text);
    EXPECT_TRUE(back.SetUTF8("\xC3\xA9"));
    EXPECT_EQ(back, L"\u00E9");
}

TEST(SWString, InvalidUtf8LeavesTheTextUnchanged) {
    SWString text(L"keep");
    EXPECT_FALSE(text.SetUTF8("\xC3"));
    EXPECT_EQ(text, L"keep");
    EXPECT_EQ(SWString("\x80", KrelStd::CT_UTF8, 0), L"");
}

TEST(SWString, NullOrEmptyUtf8SetsEmptyText) {
    SWString text(L"x");
    EXPECT_TRUE(text.SetUTF8(nullptr));
    EXPECT_EQ(text, L"");
    text = L"x";
    EXPECT_TRUE(text.SetUTF8(""));
    EXPECT_EQ(text, L"");
}

TEST(SWString, Base64FormRoundTripsTheAnsiText) {
    const SWString text(L"gr\u00FC\u00DF");
    EXPECT_STREQ(text.base64_str(), "Z3L83w==");
    SWString back;
    EXPECT_TRUE(back.SetBase64(text.base64_str()));
    EXPECT_EQ(back, text);
    EXPECT_EQ(SWString("Z3L83w==", KrelStd::CT_BASE64, 0), text);
}

TEST(SWString, InvalidBase64LeavesTheTextUnchanged) {
    SWString text(L"keep");
    EXPECT_FALSE(text.SetBase64("not base64!"));
    EXPECT_EQ(text, L"keep");
}

TEST(SWString, CountedByteFormsTakeAtMostTheLength) {
    EXPECT_EQ(SWString("abcdef", 3, KrelStd::CT_ANSI, 0), L"abc");
    EXPECT_EQ(SWString("ab\0cd", 5, KrelStd::CT_ANSI, 0), L"ab");
    SWString text;
    EXPECT_TRUE(text.SetUTF8("\xC3\xA9\xC3\xA9", 2));
    EXPECT_EQ(text, L"\u00E9");
    EXPECT_TRUE(text.SetBase64("YWJjYQ==", 4));
    EXPECT_EQ(text, L"abc");
}

TEST(SWString, NarrowBufferIsReusedByTheNextCall) {
    SWString text(L"first");
    const char* first = text.mb_str(0);
    text = L"second";
    const char* second = text.mb_str(0);
    EXPECT_STREQ(second, "second");
    EXPECT_EQ(std::strlen(first), std::strlen(second)) << "the first result is replaced";
}

TEST(SWString, CopiesTakeTextUpToTheFirstZero) {
    SWString withZero(std::wstring(L"ab\0cd", 5));
    EXPECT_EQ(withZero.size(), 5u);
    SWString copy(withZero);
    EXPECT_EQ(copy, L"ab");
    SWString sum = SWString(L"x") + withZero;
    EXPECT_EQ(sum, L"xab");
}

TEST(SWString, ReadsDecimalNumbersAsTheRuntimeDoes) {
    EXPECT_EQ(SWString(L" 42abc").ToInt(), 42);
    EXPECT_EQ(SWString(L"-17").ToLong(), -17);
    EXPECT_EQ(SWString(L"abc").ToInt(), 0);
    EXPECT_EQ(SWString(L"99999999999").ToInt(), 2147483647);
}

TEST(SWString, ChangesCaseAndTrimsInPlace) {
    SWString text(L"  \u00E9t\u00C9 \t");
    EXPECT_EQ(text.TrimString().ToUpper(), L"\u00C9T\u00C9");
    EXPECT_EQ(text.ToLower(), L"\u00E9t\u00E9");
    SWString empty;
    EXPECT_EQ(empty.TrimString(), L"");
}

TEST(SWString, ComparesByCodePoint) {
    EXPECT_TRUE(SWString(L"ab") < SWString(L"b"));
    EXPECT_TRUE(SWString(L"a") < SWString(L"ab"));
    EXPECT_FALSE(SWString(L"\uFFFF") < SWString(L"a"));
}

TEST(SWString, EditingMembersReturnTheString) {
    SWString text(L"hello");
    text.append(L"XXworldYY", 2u, 5u).insert(0, L">", 1u).replace(1, 1, 2u, L'H');
    EXPECT_EQ(text, L">HHelloworld");
    text.assign(3u, L'z').append("\xE9", 0).append(L'!');
    EXPECT_EQ(text, L"zzz\u00E9!");
    text.insert(text.begin(), L'<');
    text.replace(text.begin(), text.begin() + 1, L"[[", 1u);
    EXPECT_EQ(text, L"[zzz\u00E9!");
    EXPECT_EQ(SWString('\x80'), L"\u20AC");
}
