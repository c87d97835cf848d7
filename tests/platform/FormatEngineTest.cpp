#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "platform/WinCrt.h"
#include "platform/Windows1252.h"
#include "support/AddressSpaceLimit.h"

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

// The host C library's text for one conversion of one value.
template <typename Value> std::string hostFormat(const std::string& format, Value value) {
    const int length = std::snprintf(nullptr, 0, format.c_str(), value);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(&text[0], text.size(), format.c_str(), value);
    text.resize(static_cast<size_t>(length));
    return text;
}

// Conversions in which the engine and the host disagree, as "format: ours | host's".
std::vector<std::string> mismatches;

template <typename Value> void compareWithHost(const std::string& format, Value value) {
    const std::string ours = narrowFormat(format.c_str(), value);
    const std::string host = hostFormat(format, value);
    if (ours != host && mismatches.size() < 10) {
        mismatches.push_back(format + ": " + ours.substr(0, 80) + " | " + host.substr(0, 80));
    }
}

const char* const FLAG_SETS[] = {"", "-", "+", " ", "#", "0", "-0", "+0", " 0", "#0", "-+# 0"};

const int GIGA = 2000000000;

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

TEST(CountedFormatter, WidthBeyondTheCountIsCountedAndCut) {
    wchar_t buffer[5] = {L'#', L'#', L'#', L'#', L'#'};
    EXPECT_EQ(_snwprintf(buffer, 4, L"%-10d", 5), -1);
    EXPECT_EQ(std::wstring(buffer, 5), L"5   #");
    EXPECT_EQ(_snwprintf(nullptr, 0, L"%10d|%.12x", 5, 255u), 23);
}

TEST(CountedFormatter, ConvertedTextIsCutAtTheCount) {
    wchar_t wide[4] = {L'#', L'#', L'#', L'#'};
    EXPECT_EQ(_snwprintf(wide, 3, L"%S", "\x80\x80\x80\x80"), -1);
    EXPECT_EQ(std::wstring(wide, 4), L"\u20ac\u20ac\u20ac#");
    char narrow[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(_snprintf(narrow, 3, "%S", L"\u20ac\u0100\u20ac\u20ac"), -1);
    EXPECT_EQ(std::string(narrow, 4), "\x80?\x80#");
}

TEST(FormatEngine, IntegersMatchTheHostForEveryFlagWidthAndPrecision) {
    const char* const widths[] = {"", "1", "6", "24"};
    const char* const precisions[] = {"", ".", ".0", ".1", ".4", ".22"};
    const long long values[] = {0, 1, -1, 8, -42, 255, INT_MAX, INT_MIN, LLONG_MIN, LLONG_MAX};
    mismatches.clear();
    for (const char* flags : FLAG_SETS) {
        for (const char* width : widths) {
            for (const char* precision : precisions) {
                for (const char type : std::string("dioxXu")) {
                    const std::string spec = std::string("%") + flags + width + precision;
                    for (const long long value : values) {
                        compareWithHost(spec + "ll" + type, value);
                        compareWithHost(spec + type, static_cast<int>(value));
                    }
                }
            }
        }
    }
    EXPECT_TRUE(mismatches.empty()) << mismatches.front();
}

// Widths and precisions beyond what the engine asks of the host are padded and zero-filled by
// the engine; the text must be the host's all the same.
TEST(FormatEngine, FloatingPointWithHugeWidthOrPrecisionMatchesTheHost) {
    const char* const sizes[] = {"5000", ".17000", "5000.17000"};
    const double values[] = {0.0, -1.5, 1e-300, 1e300, 4.9e-324, INFINITY, NAN};
    mismatches.clear();
    for (const char* flags : FLAG_SETS) {
        for (const char* size : sizes) {
            for (const char type : std::string("efgaEG")) {
                const std::string spec = std::string("%") + flags + size;
                for (const double value : values) {
                    compareWithHost(spec + type, value);
                }
                compareWithHost(spec + "L" + type, -LDBL_MIN);
            }
        }
    }
    EXPECT_TRUE(mismatches.empty()) << mismatches.front();
}

TEST(FormatEngine, TextsAroundTheStackBufferSizeAreAppendedWhole) {
    for (size_t length = 500; length < 1100; length += 7) {
        const std::wstring piece(length, L'w');
        std::wstring empty;
        ASSERT_TRUE(appendTo(empty, L"%ls|", piece.c_str()));
        EXPECT_EQ(empty, piece + L"|");
        std::wstring started = L"<";
        ASSERT_TRUE(appendTo(started, L"%ls|", piece.c_str()));
        EXPECT_EQ(started, L"<" + piece + L"|");
        EXPECT_EQ(narrowFormat("%*d", static_cast<int>(length), 7),
                  std::string(length - 1, ' ') + "7");
    }
}

// Places `text` with its terminator at `offset` characters into a buffer of stray characters,
// so that its start and end fall at every position within the engine's reading blocks.
template <typename Char>
const Char* placeAt(std::vector<Char>& buffer, size_t offset, const std::basic_string<Char>& text) {
    buffer.assign(offset + text.size() + 64, static_cast<Char>('%'));
    std::copy(text.begin(), text.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    buffer[offset + text.size()] = 0;
    return buffer.data() + offset;
}

TEST(FormatEngine, LiteralsAndStringsAreFoundWholeAtEveryOffset) {
    std::vector<wchar_t> wideFormatText;
    std::vector<wchar_t> wideArgument;
    std::vector<char> narrowFormatText;
    std::vector<char> narrowArgument;
    for (size_t offset = 0; offset < 20; ++offset) {
        for (size_t length = 0; length < 40; ++length) {
            const std::wstring literal(length, L'x');
            const std::wstring word(length, L'y');
            EXPECT_EQ(wideFormat(placeAt(wideFormatText, offset, literal + L"<%ls>" + literal),
                                 placeAt(wideArgument, offset, word)),
                      literal + L"<" + word + L">" + literal)
                << offset << " " << length;
            const std::string narrowLiteral(length, 'x');
            const std::string narrowWord(length, 'y');
            EXPECT_EQ(narrowFormat(
                          placeAt(narrowFormatText, offset, narrowLiteral + "<%s>" + narrowLiteral),
                          placeAt(narrowArgument, offset, narrowWord)),
                      narrowLiteral + "<" + narrowWord + ">" + narrowLiteral)
                << offset << " " << length;
        }
    }
}

// A page that can be read followed by one that cannot; texts placed to end at the boundary
// show whether the engine reads past their terminators into the next page.
class PageBoundary : public ::testing::Test {
protected:
    void SetUp() override {
        pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* pages =
            mmap(nullptr, 2 * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(MAP_FAILED, pages);
        base = static_cast<char*>(pages);
        ASSERT_EQ(0, mprotect(base + pageSize, pageSize, PROT_NONE));
    }
    void TearDown() override {
        if (base != nullptr) {
            munmap(base, 2 * pageSize);
        }
    }

    // Copies the text and its terminator so that the terminator is the page's last character.
    template <typename Char> const Char* atPageEnd(const std::basic_string<Char>& text) {
        Char* end = reinterpret_cast<Char*>(base + pageSize) - 1;
        Char* start = end - text.size();
        std::copy(text.begin(), text.end(), start);
        *end = 0;
        return start;
    }

    size_t pageSize = 0;
    char* base = nullptr;
};

TEST_F(PageBoundary, WideFormatEndingAtTheLastReadableCharacterIsFormatted) {
    for (size_t length = 0; length < 9; ++length) {
        const std::wstring tail(length, L't');
        EXPECT_EQ(wideFormat(atPageEnd(L"n=%d " + tail), 5), L"n=5 " + tail);
    }
}

TEST_F(PageBoundary, WideArgumentEndingAtTheLastReadableCharacterIsFormatted) {
    for (size_t length = 0; length < 9; ++length) {
        const std::wstring word(length, L'w');
        EXPECT_EQ(wideFormat(L"<%ls>", atPageEnd(word)), L"<" + word + L">");
    }
}

TEST_F(PageBoundary, NarrowFormatAndArgumentEndingAtTheLastReadableByteAreFormatted) {
    for (size_t length = 0; length < 33; ++length) {
        const std::string word(length, 'w');
        EXPECT_EQ(narrowFormat("<%s>", atPageEnd(word)), "<" + word + ">");
        EXPECT_EQ(narrowFormat(atPageEnd("%d" + word), 3), "3" + word);
    }
}

TEST(FormatEngine, TheTargetItselfMayBeAnArgument) {
    std::wstring target(600, L'a');
    const std::wstring original = target;
    ASSERT_TRUE(appendTo(target, L"%ls-%ls", target.c_str(), target.c_str()));
    EXPECT_EQ(target, original + original + L"-" + original);
}

namespace {

// Checks run in a child with little address space; each answers what went wrong, or nothing.

std::string hugeWidthWritesWhatFits() {
    wchar_t buffer[17];
    std::fill_n(buffer, 17, L'#');
    if (_snwprintf(buffer, 16, L"%*d", GIGA, 1) != -1 ||
        std::wstring(buffer, 17) != std::wstring(16, L' ') + L"#") {
        return "right-aligned";
    }
    if (_snwprintf(buffer, 16, L"%-*d", GIGA, 1) != -1 ||
        std::wstring(buffer, 16) != L"1" + std::wstring(15, L' ')) {
        return "left-aligned";
    }
    if (_snwprintf(buffer, 16, L"%.*d", GIGA, 1) != -1 ||
        std::wstring(buffer, 16) != std::wstring(16, L'0')) {
        return "precision";
    }
    if (_snwprintf(buffer, 16, L"%.*f", GIGA, 0.5) != -1 ||
        std::wstring(buffer, 16) != L"0.50000000000000") {
        return "floating point precision";
    }
    return "";
}

std::string hugeTextIsMeasuredWithoutBeingMade() {
    if (_snwprintf(nullptr, 0, L"%*d", GIGA, 1) != GIGA) {
        return "width";
    }
    if (_snprintf(nullptr, 0, "%*ls", GIGA, L"x") != GIGA) {
        return "string width";
    }
    if (_snwprintf(nullptr, 0, L"%.*f", GIGA, 0.5) != GIGA + 2) {
        return "floating point precision";
    }
    if (_snwprintf(nullptr, 0, L"%*.3e", GIGA, 1.0) != GIGA) {
        return "floating point width";
    }
    return "";
}

std::string textLongerThanIntMaxIsRefused() {
    wchar_t buffer[16];
    errno = 0;
    if (_snwprintf(nullptr, 0, L"%*d%*d", GIGA, 1, GIGA, 1) != -1 || errno != EINVAL) {
        return "measured";
    }
    errno = 0;
    if (_snwprintf(buffer, 16, L"%.*d%*ls", GIGA, 1, GIGA, L"x") != -1 || errno != EINVAL) {
        return "written";
    }
    return "";
}

std::string exhaustedMemoryLeavesTheTargetUnchanged() {
    std::wstring target = L"kept";
    try {
        appendTo(target, L"%*d", GIGA, 1);
        return "a text of 8 GB was made";
    } catch (const std::bad_alloc&) {
        return target == L"kept" ? "" : "target changed";
    }
}

// Takes every block of memory the allocator still gives, down to the smallest.
std::vector<void*> exhaustMemory() {
    std::vector<void*> blocks;
    blocks.reserve(1 << 16);
    for (size_t size = size_t(1) << 28; size >= 16; size /= 2) {
        while (blocks.size() < blocks.capacity()) {
            void* block = std::malloc(size);
            if (block == nullptr) {
                break;
            }
            blocks.push_back(block);
        }
    }
    return blocks;
}

// A floating point text longer than the engine's stack buffer needs memory of its own: the
// only text the counted formatter makes outside the caller's buffer.
std::string countedFormatterAnswersMinusOneWhenMemoryRunsOut() {
    std::vector<void*> blocks = exhaustMemory();
    errno = 0;
    const int starved = _snprintf(nullptr, 0, "%.400Lf", LDBL_MAX);
    const int starvedError = errno;
    for (void* block : blocks) {
        std::free(block);
    }
    if (starved != -1 || starvedError != ENOMEM) {
        return "answered " + std::to_string(starved) + " with errno " +
               std::to_string(starvedError);
    }
    return _snprintf(nullptr, 0, "%.400Lf", LDBL_MAX) == 4933 + 1 + 400
               ? ""
               : "wrong length with memory";
}

// Huge widths and precisions are counted, never made, so these answer at once within a small
// address space; a text that cannot be had ends in -1 or an exception, never in the process
// ending.
class FormatUnderMemoryLimit : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

    // Runs the check in a child capped at 1 GB more than it uses. AddressSanitizer cannot run
    // under a cap, so there a check that needs no memory runs in the test itself and the others
    // are skipped.
    static void expectUnderLimit(std::string (*check)(), bool needsNoMemory) {
        if (krel_test::addressSanitizerActive()) {
            if (!needsNoMemory) {
                GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
            }
            EXPECT_EQ(check(), "");
            return;
        }
        EXPECT_EXIT(krel_test::exitWithCheckUnderLimit(1ULL << 30, check),
                    ::testing::ExitedWithCode(0), "");
    }
};

} // namespace

TEST_F(FormatUnderMemoryLimit, HugeWidthIntoASmallBufferWritesWhatFits) {
    expectUnderLimit(hugeWidthWritesWhatFits, true);
}

TEST_F(FormatUnderMemoryLimit, HugeTextIsMeasuredWithoutBeingMade) {
    expectUnderLimit(hugeTextIsMeasuredWithoutBeingMade, true);
}

TEST_F(FormatUnderMemoryLimit, TextLongerThanIntMaxIsRefusedWithEinval) {
    expectUnderLimit(textLongerThanIntMaxIsRefused, true);
}

TEST_F(FormatUnderMemoryLimit, ExhaustedMemoryWhileAppendingThrowsAndKeepsTheTarget) {
    expectUnderLimit(exhaustedMemoryLeavesTheTargetUnchanged, false);
}

TEST_F(FormatUnderMemoryLimit, CountedFormatterAnswersMinusOneWhenMemoryRunsOut) {
    expectUnderLimit(countedFormatterAnswersMinusOneWhenMemoryRunsOut, false);
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
