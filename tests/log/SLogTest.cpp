#include "log/SLog.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "log/DebugFileFilter.h"
#include "support/RecordingLogTest.h"

using namespace krel_std;
using krel_std_internal::StaticLogTestHook;
using krel_test::DebugOutputCapture;
using krel_test::RecordingAppender;
using KrelStd::SLog;
using KrelStd::SWString;

namespace {

const wchar_t FORMAT_ERROR[] = L"Error in printing Log Message. Please check your Log statement.\n";

// Every test starts with a static log that writes to one recording appender.
class SLogTest : public krel_test::RecordingLogTest {
protected:
    const LogEvent& only() {
        EXPECT_EQ(1u, appender->events.size());
        static const LogEvent none;
        return appender->events.empty() ? none : appender->events.front();
    }
    SLog log;
};

TEST_F(SLogTest, NarrowTextsAndFormatLogAtErrorWithTheirErrorIdAndFunction) {
    log.ErrorC("E12", "Main::run", "%d items", 3);
    const LogEvent& event = only();
    EXPECT_EQ(ERROR, event.priority);
    EXPECT_EQ(L"3 items", event.message);
    EXPECT_EQ(L"E12", event.errorId);
    EXPECT_EQ(L"Main::run", event.function);
    EXPECT_EQ(0u, event.line);
    EXPECT_TRUE(event.file.empty());
}

TEST_F(SLogTest, SeveritiesMapOntoTheCurrentPriorities) {
    log.Fatal(L"F", L"f", L"a");
    log.Major(L"M", L"f", L"b");
    log.Minor(L"m", L"f", L"c");
    log.WarnC(L"W", L"f", L"d");
    log.Info(L"I", L"f", "e");
    std::vector<LogEventPriority> priorities;
    for (const auto& event : appender->events) {
        priorities.push_back(event.priority);
    }
    EXPECT_EQ((std::vector<LogEventPriority>{FATAL, ERROR, WARN, WARN, INFO}), priorities);
}

TEST_F(SLogTest, FormatFollowsTheWindowsRulesForItsWidth) {
    log.InfoC(L"", L"f", L"%s and %S", L"wide", "narrow");
    log.InfoC("", "f", "%s and %S", "narrow", L"wide");
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(L"wide and narrow", appender->events[0].message);
    EXPECT_EQ(L"narrow and wide", appender->events[1].message);
}

TEST_F(SLogTest, NarrowTextsAreReadInTheAnsiCodePage) {
    log.ErrorC("\xC9", "Caf\xE9::run", "na\xEFve %s", "\x80");
    const LogEvent& event = only();
    EXPECT_EQ(L"\u00C9", event.errorId);
    EXPECT_EQ(L"Caf\u00E9::run", event.function);
    EXPECT_EQ(L"na\u00EFve \u20AC", event.message);
}

TEST_F(SLogTest, FormatThatCannotBeFilledGivesTheFixedText) {
    int written = 0;
    log.Warn(L"W1", L"f", L"count %n", &written);
    log.WarnC("W2", "f", nullptr);
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(FORMAT_ERROR, appender->events[0].message);
    EXPECT_EQ(FORMAT_ERROR, appender->events[1].message);
    EXPECT_EQ(L"W2", appender->events[1].errorId);
}

TEST_F(SLogTest, FatalTakesItsFormatAsSWString) {
    log.Fatal(SWString(L"F9"), SWString(L"Main::stop"), SWString(L"code %d"), 42);
    EXPECT_EQ(L"code 42", only().message);
}

TEST_F(SLogTest, DebugIgnoresItsLevelAndTheThreshold) {
    StaticLogTestHook::setThreshold(FATAL);
    log.Debug(99, L"Main::run", L"level %d", 99);
    log.DebugC(-1, "Main::run", "narrow");
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(DEBUG, appender->events[0].priority);
    EXPECT_EQ(L"level 99", appender->events[0].message);
    EXPECT_TRUE(appender->events[0].errorId.empty());
    EXPECT_EQ(L"Main::run", appender->events[1].function);
}

TEST_F(SLogTest, ErrorIgnoresTheThreshold) {
    StaticLogTestHook::setThreshold(FATAL);
    log.Error(L"E", L"f", L"kept");
    EXPECT_EQ(L"kept", only().message);
}

TEST_F(SLogTest, ThreshCallAtDebugThresholdLogsNothing) {
    StaticLogTestHook::setThreshold(DEBUG);
    log.ThreshCall(L"f", L"call");
    log.ThreshTrace(L"f", L"trace");
    log.ThreshDump(L"f", L"dump");
    log.TraceC("f", "trace");
    EXPECT_TRUE(appender->events.empty());
}

TEST_F(SLogTest, ThresholdFamilyLogsWhatTheThresholdLetsThrough) {
    StaticLogTestHook::setThreshold(TRACE);
    log.ThreshDebug(L"f", L"debug");
    log.ThreshCall(L"f", L"call");
    log.Trace(SWString(L"Main::trace"), "trace %d", 1);
    log.TraceC("f", L"wide %ls", L"format");
    log.ThreshDump(L"f", L"dump");
    std::vector<std::wstring> messages;
    for (const auto& event : appender->events) {
        messages.push_back(event.message);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"debug", L"call", L"trace 1", L"wide format"}), messages);
    EXPECT_EQ(TRACE, appender->events[2].priority);
    EXPECT_EQ(L"Main::trace", appender->events[2].function);
}

TEST_F(SLogTest, ThresholdQuestionsFollowTheStaticLog) {
    StaticLogTestHook::setThreshold(CALL);
    EXPECT_TRUE(log.IsDebugOn());
    EXPECT_TRUE(log.IsDebugThresholdOn(KrelStd::DEBUG_THRESHOLD));
    EXPECT_TRUE(log.IsDebugThresholdOn(KrelStd::CALL_THRESHOLD));
    EXPECT_FALSE(log.IsDebugThresholdOn(KrelStd::TRACE_THRESHOLD));
    EXPECT_FALSE(log.IsDebugThresholdOn(static_cast<KrelStd::thresholdEnumType>(7)));
    StaticLogTestHook::setThreshold(DUMP);
    EXPECT_TRUE(log.IsDebugThresholdOn(static_cast<KrelStd::thresholdEnumType>(7)));
    EXPECT_TRUE(log.IsDebugLevelOn(12345));
    EXPECT_TRUE(log.GetThreshold().empty());
}

TEST_F(SLogTest, SettingsAreAcceptedAndIgnored) {
    log.SetDbgFileSize(100);
    log.SetLogFiles(5);
    log.SetThreshold(L"TRACE");
    EXPECT_EQ(0, log.GetDbgFileSize());
    EXPECT_EQ(0, log.GetLogFiles());
    EXPECT_TRUE(log.GetThreshold().empty());
    EXPECT_FALSE(log.IsDebugThresholdOn(KrelStd::TRACE_THRESHOLD));
    EXPECT_TRUE(log.EnableNTEventLogging(L"Source"));
    EXPECT_TRUE(log.AddVersionModule(L"module.so"));
}

TEST_F(SLogTest, InitSetsTheFlagThatCloseAndCopiesKeep) {
    EXPECT_FALSE(log.IsInitialized());
    EXPECT_TRUE(log.Init(L"log", L"debug"));
    log.Close();
    EXPECT_TRUE(log.IsInitialized());
    const SLog copy(log);
    EXPECT_TRUE(copy.IsInitialized());
}

// Reaches the protected formatter the way a log class derived from SLog would.
class FormattingLog : public SLog {
public:
    static SWString format(const wchar_t* format, ...) {
        va_list arguments;
        va_start(arguments, format);
        SWString output(L"old");
        FormatMessageW(output, SWString(format), arguments);
        va_end(arguments);
        return output;
    }
};

TEST(SLogFormatTest, FormatMessageReplacesTheOutputWithTheFilledFormat) {
    EXPECT_EQ(L"7 of 9", FormattingLog::format(L"%d of %ls", 7, L"9"));
    EXPECT_EQ(FORMAT_ERROR, FormattingLog::format(L"%n", nullptr));
}

TEST(SLogFallbackTest, UninitialisedStaticLogSendsMessagesToTheDebuggerOutput) {
    StaticLogTestHook::reset();
    DebugOutputCapture capture;
    SLog log;
    log.InfoC("I1", "f", "hello %d", 7);
    const auto lines = capture.lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"INFO : hello 7\n", lines[0]);
}

// The default log is process-wide; each test leaves it unset.
class SLogDefaultTest : public ::testing::Test {
protected:
    void TearDown() override { SLog::SetDefaultLog(nullptr); }
};

TEST_F(SLogDefaultTest, WithoutDefaultTheEmptyLogIsMadeOnceAndReported) {
    SLog* first = SLog::GetDefaultLog();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, SLog::GetDefaultLog());
    EXPECT_TRUE(SLog::IsDefaultLogEmpty());
}

TEST_F(SLogDefaultTest, CallersLogIsTheDefaultUntilItIsDeleted) {
    SLog* empty = SLog::GetDefaultLog();
    SLog* own = new SLog();
    SLog::SetDefaultLog(own);
    EXPECT_FALSE(SLog::IsDefaultLogEmpty());
    EXPECT_EQ(own, SLog::GetDefaultLog());
    delete own;
    EXPECT_TRUE(SLog::IsDefaultLogEmpty());
    EXPECT_EQ(empty, SLog::GetDefaultLog());
}

} // namespace
