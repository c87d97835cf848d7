#include <cstdlib>
#include <gtest/gtest.h>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "log/ContextLogMessage.h"
#include "log/StaticLog.h"
#include "support/DebugOutputCapture.h"

using namespace krel_std;

namespace {

class UninitialisedStaticLog : public ::testing::Test {
protected:
    krel_test::DebugOutputCapture output;
};

} // namespace

TEST_F(UninitialisedStaticLog, WritesInfoAndAboveAsPriorityAndMessage) {
    StaticLog::log(INFO, L"f", L"Started", L"M", L"", 1, L"Main", 12);
    StaticLog::log(FATAL, L"f", L"Stopped", L"M", L"", 1, L"Main", 12);
    EXPECT_EQ(output.all(), L"INFO : Started\nFATAL : Stopped\n");
}

TEST_F(UninitialisedStaticLog, WritesDebugAndBelowAsFileLineAndMessage) {
    StaticLog::log(DEBUG, L"f", L"m", L"M", L"", 1, L"Main", 12);
    EXPECT_EQ(output.all(), L"Main[12] : m\n");
}

TEST_F(UninitialisedStaticLog, AddsNoSecondLineFeed) {
    StaticLog::log(WARN, L"f", L"done\n", L"M", L"", 1, L"Main", 1);
    EXPECT_EQ(output.all(), L"WARN : done\n");
}

TEST_F(UninitialisedStaticLog, WritesPercentSignsInMessagesUnchanged) {
    StaticLog::log(ERROR, L"f", L"100%ls %d", L"M", L"", 1, L"Main", 1);
    EXPECT_EQ(output.all(), L"ERROR : 100%ls %d\n");
}

TEST_F(UninitialisedStaticLog, IsHeardOnlyThroughTheDebuggerOutput) {
    EXPECT_TRUE(StaticLog::isOutputHeard());
    krel_platform::setDebugOutputHook(nullptr);
    EXPECT_EQ(std::getenv("KREL_DEBUG_OUTPUT") != nullptr, StaticLog::isOutputHeard());
}

TEST_F(UninitialisedStaticLog, PassesDebugAndAboveOnly) {
    EXPECT_EQ(StaticLog::getThreshold(), DEBUG);
    EXPECT_TRUE(StaticLog::isThresholdOn(DEBUG));
    EXPECT_TRUE(StaticLog::isThresholdOn(FATAL));
    EXPECT_FALSE(StaticLog::isThresholdOn(CALL));
    EXPECT_FALSE(StaticLog::isThresholdOn(DUMP));
    EXPECT_TRUE(__internal_debug_on());
    EXPECT_FALSE(__internal_call_on());
    EXPECT_FALSE(__internal_trace_on());
    EXPECT_FALSE(__internal_dump_on());
}

TEST_F(UninitialisedStaticLog, ScopeTracerAtCallWritesNothing) {
    { KREL_TRACE_SCOPE(L"krel_std::Test::scope"); }
    { KREL_TRACE_SCOPE_ARGS(L"krel_std::Test::args", L"Begin. Name <%ls>.", L"x"); }
    EXPECT_TRUE(output.lines().empty());
}

TEST_F(UninitialisedStaticLog, ScopeTracerAtDebugWritesBeginPrintAndEnd) {
    {
        LogFunctionCall scope(L"krel_std::Test::scope", L"KrelStd", L"Scope.cpp", 7, DEBUG,
                              L"Begin. Value <%d>.", 42);
        scope.print(L"middle %ls", L"text");
    }
    EXPECT_EQ(output.all(), L"Scope.cpp[7] : Begin. Value <42>.\n"
                            L"Scope.cpp[7] : middle text\n"
                            L"Scope.cpp[7] : End.\n");
}

TEST_F(UninitialisedStaticLog, ScopeTracerLogsTheRawFormatWhenFormattingFails) {
    {
        LogFunctionCall scope(L"krel_std::Test::scope", L"KrelStd", L"Scope.cpp", 7, DEBUG,
                              L"Begin. Bad <%n>.", nullptr);
    }
    const std::vector<std::wstring> lines = output.lines();
    ASSERT_GE(lines.size(), 3u);
    const size_t last = lines.size() - 1;
    EXPECT_NE(lines[last - 2].find(L"Error formatting message: Unable to format string: "),
              std::wstring::npos);
    EXPECT_EQ(lines[last - 1], L"Scope.cpp[7] : Begin. Bad <%n>.\n");
    EXPECT_EQ(lines[last], L"Scope.cpp[7] : End.\n");
}

TEST_F(UninitialisedStaticLog, InternalDebugFormatsItsArguments) {
    __internal_debug(L"krel_std::Test::f", L"Test.cpp", 99, L"Key <%ls> count <%u>.", L"k", 3u);
    EXPECT_EQ(output.all(), L"Test.cpp[99] : Key <k> count <3>.\n");
}

TEST_F(UninitialisedStaticLog, ContextMessageUsesItsFixedContext) {
    ContextLogMessage message(L"krel_std::Test::g", WARN, L"KrelStd", L"Test.cpp", 5);
    message.log(L"Value <%d>.", -1);
    EXPECT_EQ(output.all(), L"WARN : Value <-1>.\n");
}

TEST(FileBaseName, IsThePartBehindTheLastSeparatorOfEitherKind) {
    EXPECT_STREQ(getFileBaseName(L"a/b\\c.txt"), L"c.txt");
    EXPECT_STREQ(getFileBaseName(L"a\\b/c.txt"), L"c.txt");
    EXPECT_STREQ(getFileBaseName(L"c.txt"), L"c.txt");
    EXPECT_STREQ(getFileBaseName(L"dir/"), L"");
    EXPECT_EQ(getFileBaseName(nullptr), nullptr);
}

TEST(FileBaseName, SourceFileMacroGivesTheSameTextAsTheRuntimeCut) {
    EXPECT_STREQ(getFileBaseName(L"" __FILE__), KREL_SOURCE_FILE);
    static_assert(krel_std_internal::fileBaseNameOffset(L"a/b\\c.txt") == 4, "either separator");
    static_assert(krel_std_internal::fileBaseNameOffset(L"a\\b/c.txt") == 4, "either separator");
    static_assert(krel_std_internal::fileBaseNameOffset(L"c.txt") == 0, "no separator");
}

TEST(LogEventPriorityText, NamesEachPriorityAndRejectsOthers) {
    EXPECT_EQ(logEventPriorityToString(DUMP), L"DUMP");
    EXPECT_EQ(logEventPriorityToString(FATAL), L"FATAL");
    EXPECT_EQ(logEventPriorityToString(static_cast<LogEventPriority>(8)),
              L"Invalid Priority Specified");
    EXPECT_EQ(logEventPriorityToString(static_cast<LogEventPriority>(-1)),
              L"Invalid Priority Specified");
}

TEST(LogEventPriorityText, ParsesExactNamesOnly) {
    EXPECT_EQ(logEventPriorityFromString(L"WARN", INFO), WARN);
    EXPECT_EQ(logEventPriorityFromString(L"DUMP", INFO), DUMP);
    EXPECT_EQ(logEventPriorityFromString(L"debug", INFO), INFO);
    EXPECT_EQ(logEventPriorityFromString(L" WARN", INFO), INFO);
    EXPECT_EQ(logEventPriorityFromString(L"", ERROR), ERROR);
    EXPECT_TRUE(isDebugEventPriority(DEBUG));
    EXPECT_FALSE(isDebugEventPriority(INFO));
}
