#include "log/KrelLoggerSTD.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "log/DebugFileFilter.h"
#include "log/LogFileFilter.h"
#include "log/VectorLogAppender.h"
#include "support/RecordingLogTest.h"

using namespace krel_std;
using krel_std_internal::StaticLogTestHook;
using krel_test::DebugOutputCapture;
using krel_test::RecordingAppender;
using krel_test::StaticLogTest;

namespace {

class KrelLoggerSTDTest : public krel_test::RecordingLogTest {
protected:
    const LogEvent& onlyEvent() {
        EXPECT_EQ(1u, appender->events.size());
        return appender->events.back();
    }

    const KrelLoggerSTD& messages = Singleton<KrelLoggerSTD>::getInstance();
};

struct CatalogueEntry {
    const wchar_t* code;
    LogEventPriority priority;
    const wchar_t* text;
    std::function<void(const KrelLoggerSTD&)> call;
};

const wchar_t* const CTX = L"krel_std::Foo::bar";

TEST_F(KrelLoggerSTDTest, EveryNumberedMessageHasItsCodeLevelAndText) {
    const std::vector<CatalogueEntry> catalogue = {
        {L"STD0000", INFO, L"Starting preference change event dispatch thread.",
         [](const KrelLoggerSTD& m) { m.STD0000(CTX); }},
        {L"STD0001", INFO, L"Stopping preference change event dispatch thread.",
         [](const KrelLoggerSTD& m) { m.STD0001(CTX); }},
        {L"STD0002", INFO, L"Using F PreferencesFactory.",
         [](const KrelLoggerSTD& m) { m.STD0002(CTX, L"F"); }},
        {L"STD0003", INFO, L"Using P Paths.", [](const KrelLoggerSTD& m) { m.STD0003(CTX, L"P"); }},
        {L"STD0004", INFO, L"Client <c> connected to service at <s>.",
         [](const KrelLoggerSTD& m) { m.STD0004(CTX, L"c", L"s"); }},
        {L"STD0005", INFO, L"Client <c> disconnected from service at <s>.",
         [](const KrelLoggerSTD& m) { m.STD0005(CTX, L"c", L"s"); }},
        {L"STD0006", INFO, L"Loaded shared library <l.so>.",
         [](const KrelLoggerSTD& m) { m.STD0006(CTX, L"l.so"); }},
        {L"STD0007", INFO, L"Unloaded shared library <l.so>.",
         [](const KrelLoggerSTD& m) { m.STD0007(CTX, L"l.so"); }},
        {L"STD0008", INFO, L"Debugging threshold changed to: <CALL>.",
         [](const KrelLoggerSTD& m) { m.STD0008(CTX, L"CALL"); }},
        {L"STD0009", INFO, L"Maximum file size changed to: <2097152>.",
         [](const KrelLoggerSTD& m) { m.STD0009(CTX, 2097152ul); }},
        {L"STD0010", INFO, L"Maximum file count changed to: <5>.",
         [](const KrelLoggerSTD& m) { m.STD0010(CTX, 5ul); }},
        {L"STD2000", ERROR, L"Client <c> failed to send heart beat to service at <s>.",
         [](const KrelLoggerSTD& m) { m.STD2000(CTX, L"c", L"s"); }},
        {L"STD2001", ERROR, L"Client <c> failed to connect to any service.",
         [](const KrelLoggerSTD& m) { m.STD2001(CTX, L"c"); }},
        {L"STD2002", ERROR, L"The service controller threw an exception: why",
         [](const KrelLoggerSTD& m) { m.STD2002(CTX, L"why"); }},
        {L"STD2003", ERROR,
         L"Failed to install console control signal translator.  Reason:[-5:Access is denied.]",
         [](const KrelLoggerSTD& m) { m.STD2003(CTX, -5, L"Access is denied."); }},
        {L"STD2004", ERROR, L"Failed to remove console control signal translator.  Reason:[87:bad]",
         [](const KrelLoggerSTD& m) { m.STD2004(CTX, 87, L"bad"); }},
        {L"STD3000", WARN, L"Key x More data is available: <d>.",
         [](const KrelLoggerSTD& m) { m.STD3000(CTX, L"Key x", L"More data is available", L"d"); }},
        {L"STD3001", WARN, L"Registry key <k> is not of REG_SZ or REG_DWORD type.",
         [](const KrelLoggerSTD& m) { m.STD3001(CTX, L"k"); }},
        {L"STD3002", WARN, L"Registry key <k> is not of REG_DWORD type.",
         [](const KrelLoggerSTD& m) { m.STD3002(CTX, L"k"); }},
        {L"STD3003", WARN, L"Internal error: Caught unknown exception in <krel_std::Foo::bar>.",
         [](const KrelLoggerSTD& m) { m.STD3003(CTX); }},
        {L"STD3004", WARN,
         L"Preference change notification queue has reached its maximum size <1000>.",
         [](const KrelLoggerSTD& m) { m.STD3004(CTX, 1000u); }},
        {L"STD3005", WARN, L"Preference change blocker queue has reached its maximum size <200>.",
         [](const KrelLoggerSTD& m) { m.STD3005(CTX, 200u); }},
        {L"STD3006", WARN, L"Unable to initialize Xerces XML system : r",
         [](const KrelLoggerSTD& m) { m.STD3006(CTX, L"r"); }},
        {L"STD3007", WARN, L"Unable to shutdown Xerces XML system : r",
         [](const KrelLoggerSTD& m) { m.STD3007(CTX, L"r"); }},
        {L"STD3008", WARN, L"The thread [0x1a4:worker] terminated unexpectedly. Reason: boom",
         [](const KrelLoggerSTD& m) { m.STD3008(CTX, L"0x1a4", L"worker", L"boom"); }},
        {L"STD3009", WARN,
         L"Thread <0x1234567890:w> in thread pool <p> running task <t> is considered hung and "
         L"removed. The running task r aborted.",
         [](const KrelLoggerSTD& m) { m.STD3009(CTX, 0x1234567890ull, L"w", L"p", L"t", L"r"); }},
        {L"STD3010", WARN,
         L"Thread factory <f> could not create thread for thread pool <p>. Potentially "
         L"discarding task <t>.",
         [](const KrelLoggerSTD& m) { m.STD3010(CTX, L"f", L"p", L"t"); }},
    };
    ASSERT_EQ(27u, catalogue.size());

    for (const CatalogueEntry& entry : catalogue) {
        appender->events.clear();
        entry.call(messages);
        ASSERT_EQ(1u, appender->events.size()) << entry.code;
        const LogEvent& event = appender->events[0];
        EXPECT_EQ(entry.code, event.errorId);
        EXPECT_EQ(entry.priority, event.priority) << entry.code;
        EXPECT_EQ(entry.text, event.message) << entry.code;
        EXPECT_EQ(L"Foo::bar", event.function) << entry.code;
        EXPECT_EQ(L"", event.file) << entry.code;
        EXPECT_EQ(0u, event.line) << entry.code;
    }
}

TEST_F(KrelLoggerSTDTest, MessageCarriesClassAndOperationOfItsContext) {
    messages.STD0009(L"krel_std::RollingFileAppender::setProperty", 1048576ul);
    EXPECT_EQ(L"RollingFileAppender::setProperty", onlyEvent().function);
    EXPECT_EQ(L"Maximum file size changed to: <1048576>.", onlyEvent().message);
    EXPECT_EQ(L"KrelStd", messages.getModuleName());
}

TEST_F(KrelLoggerSTDTest, FunctionIsTheContextCutToClassAndOperation) {
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> cases = {
        {L"main", L"main"},
        {L"Foo::bar", L"bar"},
        {L"krel_std::RegistryChangeNotifier::RegistryCheckingThread::run",
         L"RegistryCheckingThread::run"},
    };
    for (const auto& entry : cases) {
        appender->events.clear();
        messages.STD3003(entry.first);
        EXPECT_EQ(entry.second, onlyEvent().function);
        EXPECT_EQ(std::wstring(L"Internal error: Caught unknown exception in <") + entry.first +
                      L">.",
                  onlyEvent().message);
    }
}

TEST_F(KrelLoggerSTDTest, CountsUpToTheLargest32BitValueAreWrittenUnchanged) {
    messages.STD0010(CTX, 3000000000ul);
    EXPECT_EQ(L"Maximum file count changed to: <3000000000>.", onlyEvent().message);
}

TEST_F(KrelLoggerSTDTest, SizesBeyond32BitsAreWrittenAsTheLargest32BitValue) {
    messages.STD0009(CTX, 0x1FFFFFFFFul);
    EXPECT_EQ(L"Maximum file size changed to: <4294967295>.", onlyEvent().message);
}

TEST_F(KrelLoggerSTDTest, NumberedMessagesIgnoreTheThreshold) {
    StaticLogTestHook::setThreshold(ERROR);
    VectorLogAppender memory;
    memory.setFilter(boost::shared_ptr<ILogEventFilter>(new LogFileFilter()));
    messages.STD0000(CTX);
    const auto lines = memory.getLogStatements();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos,
              lines.front().find(L" INFO STD0000 Starting preference change event dispatch "
                                 L"thread.\n"));
}

TEST_F(StaticLogTest, NumberedMessageBeforeInitialisationGoesToTheDebuggerOutput) {
    DebugOutputCapture capture;
    Singleton<KrelLoggerSTD>::getInstance().STD3007(CTX, L"gone");
    EXPECT_EQ(std::vector<std::wstring>{L"WARN : Unable to shutdown Xerces XML system : gone\n"},
              capture.lines());
}

} // namespace

namespace {

// A catalogue whose message cannot be formatted ("%n" is refused by the formatter).
class BrokenCatalogue : public KrelLogger {
public:
    std::wstring getModuleName() const override { return L"Test"; }
    void badMessage() const {
        Warn(L"Broken::T0001", L"krel_std::Foo::bar", L"Bad <%n>.", nullptr);
    }
};

TEST_F(KrelLoggerSTDTest, MessageThatCannotBeFormattedIsLoggedRawAfterADebugNote) {
    BrokenCatalogue().badMessage();
    // The formatter may trace its own failure first; the note and the raw line come last.
    ASSERT_GE(appender->events.size(), 2u);
    const LogEvent& note = appender->events[appender->events.size() - 2];
    EXPECT_EQ(DEBUG, note.priority);
    EXPECT_EQ(L"krel_std::KrelLogger::Warn", note.function);
    EXPECT_EQ(0u, note.message.find(L"Error formatting message: ")) << note.message;
    const LogEvent& raw = appender->events.back();
    EXPECT_EQ(WARN, raw.priority);
    EXPECT_EQ(L"Bad <%n>.", raw.message);
    EXPECT_EQ(L"T0001", raw.errorId);
    EXPECT_EQ(L"Foo::bar", raw.function);
}

} // namespace
