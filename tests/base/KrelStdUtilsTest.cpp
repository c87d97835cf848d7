#include "base/KrelStdUtils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/WinBase.h"

using KrelStd::SWString;

namespace {

// Runs a scenario in a child process and ends it: with 0 when the scenario answers the empty
// text, else with 1 after printing what went wrong. The option index and the directory
// settings are process-wide and never reset, so each scenario gets a fresh copy of them.
[[noreturn]] void exitWithScenario(const std::function<std::string()>& scenario) {
    const std::string failure = scenario();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::exit(1);
    }
    std::exit(0);
}

#define EXPECT_SCENARIO(...)                                                                       \
    EXPECT_EXIT(exitWithScenario(__VA_ARGS__), ::testing::ExitedWithCode(0), "")

// A command line whose texts GetOption may point into.
class CommandLine {
public:
    CommandLine(std::initializer_list<const wchar_t*> arguments) {
        for (const wchar_t* argument : arguments) {
            texts.emplace_back(argument);
        }
        for (std::wstring& text : texts) {
            pointers.push_back(&text[0]);
        }
    }
    int argc() const { return static_cast<int>(pointers.size()); }
    wchar_t** argv() { return pointers.data(); }

private:
    std::vector<std::wstring> texts;
    std::vector<wchar_t*> pointers;
};

// One GetOption call written as "<result>:<optarg or (null)>".
std::wstring nextOption(CommandLine& line, const wchar_t* options) {
    std::wstring optstring(options);
    wchar_t* optarg = nullptr;
    const int result = KrelStd::GetOption(line.argc(), line.argv(), &optstring[0], &optarg);
    return std::to_wstring(result) + L":" + (optarg != nullptr ? optarg : L"(null)");
}

std::string expectSequence(CommandLine& line, const wchar_t* options,
                           const std::vector<std::wstring>& expected) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::wstring got = nextOption(line, options);
        if (got != expected[i]) {
            return "call " + std::to_string(i + 1) + " gave " + std::string(got.begin(), got.end());
        }
    }
    return "";
}

const std::wstring a = std::to_wstring(L'a');
const std::wstring b = std::to_wstring(L'b');
const std::wstring o = std::to_wstring(L'o');

} // namespace

TEST(OlderOptions, OptionValueFromNextArgumentThenFlagThenEnd) {
    EXPECT_SCENARIO([] {
        CommandLine line{L"prog", L"-a", L"x", L"-b"};
        return expectSequence(line, L"a:b", {a + L":x", b + L":(null)", L"0:(null)"});
    });
}

TEST(OlderOptions, UnknownOptionAndPlainArgument) {
    EXPECT_SCENARIO([] {
        CommandLine line{L"prog", L"-z", L"plain", L"-"};
        return expectSequence(line, L"ab", {L"65535:-z", L"1:plain", L"65535:-"});
    });
}

TEST(OlderOptions, SlashStartsAnOptionAndIsNoValue) {
    EXPECT_SCENARIO([] {
        CommandLine line{L"prog", L"-o", L"/a", L"/ofile"};
        return expectSequence(line, L"ao:",
                              {o + L":(null)", a + L":(null)", o + L":file", L"0:(null)"});
    });
}

TEST(OlderOptions, IndexIsNeverResetBetweenPasses) {
    EXPECT_SCENARIO([] {
        CommandLine line{L"prog", L"-a", L"-b"};
        const std::string first = expectSequence(line, L"ab", {a + L":(null)", b + L":(null)"});
        if (!first.empty()) {
            return first;
        }
        // The end answers 0 and keeps advancing; a longer command line later starts beyond it.
        const std::string end = expectSequence(line, L"ab", {L"0:(null)", L"0:(null)"});
        CommandLine longer{L"prog", L"-a", L"-a", L"-a", L"-a", L"-b"};
        return end.empty() ? expectSequence(longer, L"ab", {b + L":(null)", L"0:(null)"}) : end;
    });
}

TEST(OlderDirectories, LibraryDirectoryStartsAtParentAndKeepsWhatIsSet) {
    EXPECT_SCENARIO([] {
        if (KrelStd::GetKrelDir() != L".." || !KrelStd::GetAppSubDir().empty()) {
            return std::string("unexpected defaults");
        }
        KrelStd::SetKrelDir(KrelStd::SFilePath(std::wstring(L"/opt/krel"), L'/'));
        KrelStd::SetAppSubDir(SWString(L"app"));
        KrelStd::SFilePath dir = KrelStd::GetKrelDir();
        dir.Append(std::wstring(L"lib"));
        return dir == L"/opt/krel/lib" && KrelStd::GetAppSubDir() == L"app"
                   ? std::string()
                   : std::string("settings not kept");
    });
}

TEST(OlderPathParts, DirNameAndBaseNameSplitAtTheLaterSeparator) {
    wchar_t wide[64];
    KrelStd::DirName(wide, L"C:\\dir/sub\\file.txt");
    EXPECT_STREQ(wide, L"C:\\dir/sub");
    KrelStd::BaseName(wide, L"C:\\dir\\sub/file.txt");
    EXPECT_STREQ(wide, L"file.txt");
    KrelStd::DirName(wide, L"file");
    EXPECT_STREQ(wide, L".");
    KrelStd::BaseName(wide, L"");
    EXPECT_STREQ(wide, L".");
}

TEST(OlderPathParts, NarrowFormsWriteAnsiText) {
    char narrow[64];
    KrelStd::DirName(narrow, "/tmp/caf\xE9/x");
    EXPECT_STREQ(narrow, "/tmp/caf\xE9");
    KrelStd::BaseName(narrow, "d\\caf\xE9");
    EXPECT_STREQ(narrow, "caf\xE9");
}

TEST(OlderTrim, CharacterArraysLoseTrailingBlanksOnly) {
    char narrow[] = "  text \t\r\n";
    KrelStd::TrimString(narrow);
    EXPECT_STREQ(narrow, "  text");
    wchar_t wide[] = L" text\u3000 ";
    KrelStd::TrimString(wide);
    EXPECT_STREQ(wide, L" text");
    wchar_t blanks[] = L" \t ";
    KrelStd::TrimString(blanks);
    EXPECT_STREQ(blanks, L"");
}

TEST(OlderTrim, WideStringLosesBlanksAtBothEnds) {
    SWString text(L"  both  ");
    KrelStd::TrimString(text);
    EXPECT_EQ(text, L"both");
}

TEST(OlderFormat, NarrowFormatsFollowTheWindowsRules) {
    // In a narrow format %s is narrow, %S and %ls wide; the result is read as ANSI text.
    EXPECT_EQ(KrelStd::sprintfString("%s|%S|%ls|%I64d", "caf\xE9", L"\u20AC", L"w", 12LL),
              L"caf\u00E9|\u20AC|w|12");
    SWString text(L"<");
    KrelStd::sprintfStringAppend(text, "%04d>", 7);
    EXPECT_EQ(text, L"<0007>");
}

TEST(OlderFormat, NarrowRefusedFormatLeavesTheTextAsItWas) {
    SWString text(L"kept");
    KrelStd::sprintfStringAppend(text, "bad %n", nullptr);
    EXPECT_EQ(text, L"kept");
    EXPECT_EQ(KrelStd::sprintfString("%y"), L"");
}

TEST(OlderFormat, LongTextsGrowBeyondTheFirstRoom) {
    const std::string long_text(1000, 'x');
    EXPECT_EQ(KrelStd::sprintfString("%s.", long_text.c_str()).size(), 1001u);
}

TEST(OlderDump, NarrowDumpInHexadecimal) {
    EXPECT_EQ(KrelStd::BufferDump("AB\x01", 3, 16), L"41 42 1 \"AB.\"");
    EXPECT_EQ(KrelStd::BufferDump("\xFF\x08", 2, 8), L"377 10 \"..\"");
    EXPECT_EQ(KrelStd::BufferDump("\xFF", 1, 3), L"255 \".\"");
}

TEST(OlderDump, WideDumpHasTwoMoreBlanksBeforeTheQuote) {
    EXPECT_EQ(KrelStd::BufferDump(L"AB\x01", 3, 16), L"41 42 1   \"AB.\"");
    EXPECT_EQ(KrelStd::BufferDump(L"\u00E9", 1, 10), L"233   \"\u00E9\"");
}

TEST(OlderDump, EmptyBufferGivesTwoQuotes) {
    EXPECT_EQ(KrelStd::BufferDump("x", 0, 16), L"\"\"");
    EXPECT_EQ(KrelStd::BufferDump(L"x", -1, 16), L"  \"\"");
}

TEST(OlderErrorTexts, SmallCodesAreZeroFilled) {
    EXPECT_EQ(KrelStd::printErr(5, L"ERR"), L"ERR0005");
    EXPECT_EQ(KrelStd::printErr(12345, L"ERR"), L"ERR12345");
    EXPECT_EQ(KrelStd::printErr(-1, L"ERR"), L"ERR-1");
    EXPECT_EQ(KrelStd::Num2Str(-9000000000L), L"-9000000000");
}

TEST(OlderErrorTexts, LastErrorTextIsTheTrimmedSystemMessage) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    const SWString text = KrelStd::printLastErr();
    EXPECT_EQ(text, L"The system cannot find the file specified.");
}

class OlderLines : public ::testing::Test {
protected:
    void SetUp() override { stream = std::tmpfile(); }
    void TearDown() override { std::fclose(stream); }

    void write(const std::string& bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::rewind(stream);
    }

    FILE* stream = nullptr;
};

TEST_F(OlderLines, LongLineComesWholeInOneCall) {
    const std::string line(300, 'q');
    write(line + "\nnext");
    SWString read;
    EXPECT_EQ(KrelStd::SWSfgets(read, stream), 1);
    EXPECT_EQ(read, SWString((line + "\n").c_str(), KrelStd::CT_ANSI, 0));
    EXPECT_EQ(KrelStd::SWSfgets(read, stream), 1);
    EXPECT_EQ(read, L"next");
    EXPECT_EQ(KrelStd::SWSfgets(read, stream), 0);
    EXPECT_EQ(read, L"");
}

TEST_F(OlderLines, LineIsReadAsAnsiText) {
    write("caf\xE9\r\n");
    SWString read;
    EXPECT_EQ(KrelStd::SWSfgets(read, stream), 1);
    EXPECT_EQ(read, L"caf\u00E9\r\n");
}
