#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinProcess.h"

namespace {

std::vector<std::wstring> split(const wchar_t* line) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(line, &count);
    std::vector<std::wstring> result(arguments, arguments + count);
    LocalFree(arguments);
    return result;
}

} // namespace

TEST(CommandLineTest, ProgramNameTakesNoEscapes) {
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Program Files\\a\\", L"x"}),
              split(L"\"C:\\Program Files\\a\\\" x"));
}

TEST(CommandLineTest, BackslashesCountOnlyBeforeAQuote) {
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"a\\\\b", L"c\\", L"d\"e", L"f\\g h"}),
              split(L"p a\\\\b \"c\\\\\" d\\\"e \"f\\g h\""));
}

TEST(CommandLineTest, DoubledQuoteInsideQuotesIsOneQuote) {
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"a\"b", L""}), split(L"p \"a\"\"b\" \"\""));
}

TEST(CommandLineTest, BlanksBetweenArgumentsAreSkipped) {
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"a", L"b"}), split(L"p \t a   b  "));
}

TEST(CommandLineTest, EmptyLineGivesTheProgramPath) {
    std::vector<std::wstring> arguments = split(L"");
    ASSERT_EQ(1u, arguments.size());
    EXPECT_EQ(L'/', arguments[0][0]);
}

TEST(CommandLineTest, OwnCommandLineGivesBackTheProgramsArguments) {
    std::ifstream input("/proc/self/cmdline", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(input)),
                              std::istreambuf_iterator<char>());
    std::vector<std::wstring> expected;
    for (size_t start = 0; start < content.size();) {
        const size_t end = content.find('\0', start);
        expected.push_back(krel_platform::utf8ToWide(content.substr(start, end - start)));
        start = end + 1;
    }
    EXPECT_EQ(expected, split(GetCommandLineW()));
}
