#include "service/ConsoleControlSignalTranslator.h"

#include <gtest/gtest.h>
#include <memory>

#include "SignalTestSupport.h"
#include "log/ContextLogMessage.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "platform/WinConsole.h"
#include "support/RecordingLogTest.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"

using namespace krel_test;
using krel_std::ConsoleControlSignalTranslator;
using krel_std::LogEvent;

namespace {

krel_std::Event& interrupted() {
    static krel_std::Event& event = *new krel_std::Event(true, false);
    return event;
}

// A program's SIGINT function: logs, then lets the main thread go on.
void logInterrupt(int signal) {
    krel_std::ContextLogMessage::log(krel_std::INFO, L"demo::onInterrupt", L"Test", L"",
                                     krel_std::Thread::getCurrentThreadId(), L"", 0,
                                     L"Interrupted by signal %d", signal);
    SignalRecorder::get().record(0, signal);
    interrupted().signal();
}

class ConsoleControlSignalTranslatorTest : public krel_test::RecordingLogTest {
protected:
    void SetUp() override {
        RecordingLogTest::SetUp();
        SignalRecorder::get().clear();
        krel_std_internal::StaticLogTestHook::setThreshold(krel_std::DEBUG);
    }
    void TearDown() override {
        for (int signal : {SIGINT, SIGBREAK, SIGHUP, SIGTERM, SIGILL}) {
            krel_platform::signal(signal, SIG_DFL);
        }
        RecordingLogTest::TearDown();
    }

    void waitForInterrupt() {
        ASSERT_EQ(0, krel_std::Concurrency::waitForSingleObject(interrupted(), 10000));
    }

    // The handler's traces, without the lines the SIGINT function logs.
    std::vector<std::wstring> traces() const {
        std::vector<std::wstring> found;
        for (const LogEvent& event : appender->events) {
            if (event.function == L"krel_std::ConsoleControlSignalTranslator::controlCodeHandler") {
                EXPECT_EQ(krel_std::DEBUG, event.priority);
                found.push_back(event.message);
            }
        }
        return found;
    }
    SignalRecorder& recorder = SignalRecorder::get();
};

struct ControlCase {
    DWORD type;
    int raised; // 0: nothing
    const wchar_t* trace;
};

TEST_F(ConsoleControlSignalTranslatorTest, EachControlTypeRaisesItsSignalAndAnswersTrue) {
    krel_platform::signal(SIGINT, recordA);
    krel_platform::signal(SIGBREAK, recordA);
    krel_platform::signal(SIGILL, recordA);
    const ControlCase cases[] = {
        {0, SIGINT, L"Handling CTRL_C_EVENT(0).  Translating to SIGINT(2)."},
        {1, SIGBREAK, L"Handling CTRL_BREAK_EVENT(1).  Translating to SIGBREAK(3)."},
        {2, SIGINT, L"Handling CTRL_CLOSE_EVENT(2).  Translating to SIGINT(2)."},
        {3, SIGILL, L"Unknown control code(3).  Raising SIGILL(4)."},
        {4, SIGILL, L"Unknown control code(4).  Raising SIGILL(4)."},
        {5, 0, L"Handling CTRL_LOGOFF_EVENT(5).  Ignoring."},
        {6, SIGINT, L"Handling CTRL_SHUTDOWN_EVENT(6).  Translating to SIGINT(2)."},
    };
    for (const ControlCase& entry : cases) {
        recorder.clear();
        appender->events.clear();
        EXPECT_EQ(TRUE, ConsoleControlSignalTranslator::controlCodeHandler(entry.type));
        const std::vector<SignalCall> calls = recorder.calls();
        if (entry.raised == 0) {
            EXPECT_TRUE(calls.empty()) << entry.type;
        } else {
            ASSERT_EQ(1u, calls.size()) << entry.type;
            EXPECT_EQ(entry.raised, calls[0].signal) << entry.type;
            EXPECT_EQ(krel_std::Thread::getCurrentThreadId(), calls[0].threadId);
        }
        EXPECT_EQ(std::vector<std::wstring>{entry.trace}, traces()) << entry.type;
    }
}

TEST_F(ConsoleControlSignalTranslatorTest, TracesAreOffBelowDebug) {
    krel_platform::signal(SIGINT, recordA);
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::INFO);
    ConsoleControlSignalTranslator::controlCodeHandler(CTRL_C_EVENT);
    EXPECT_EQ(1u, recorder.calls().size());
    EXPECT_TRUE(traces().empty());
}

TEST_F(ConsoleControlSignalTranslatorTest, CloseShutdownAndCtrlCReachTheInterruptFunction) {
    krel_platform::signal(SIGINT, logInterrupt);
    ConsoleControlSignalTranslator translator;
    size_t expected = 0;
    for (int signal : {SIGHUP, SIGTERM, SIGINT}) {
        sendToSelf(signal);
        waitForInterrupt();
        ASSERT_TRUE(recorder.waitForCalls(++expected)) << signal;
    }
    const std::vector<SignalCall> calls = recorder.calls();
    ASSERT_EQ(3u, calls.size());
    for (const SignalCall& call : calls) {
        EXPECT_EQ(SIGINT, call.signal);
        EXPECT_EQ(krel_platform::signalDeliveryThreadId(), call.threadId);
    }
    EXPECT_EQ((std::vector<std::wstring>{
                  L"Handling CTRL_CLOSE_EVENT(2).  Translating to SIGINT(2).",
                  L"Handling CTRL_SHUTDOWN_EVENT(6).  Translating to SIGINT(2).",
                  L"Handling CTRL_C_EVENT(0).  Translating to SIGINT(2).",
              }),
              traces());
    size_t logged = 0;
    for (const LogEvent& event : appender->events) {
        if (event.message == L"Interrupted by signal 2") {
            EXPECT_EQ(krel_platform::signalDeliveryThreadId(), event.threadId);
            ++logged;
        }
    }
    EXPECT_EQ(3u, logged);
}

TEST_F(ConsoleControlSignalTranslatorTest, BreakKeyReachesTheBreakFunction) {
    krel_platform::signal(SIGINT, recordA);
    krel_platform::signal(SIGBREAK, recordB);
    ConsoleControlSignalTranslator translator;
    sendToSelf(SIGQUIT);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(1, recorder.calls()[0].function);
    EXPECT_EQ(SIGBREAK, recorder.calls()[0].signal);
}

TEST_F(ConsoleControlSignalTranslatorTest, DestroyedTranslatorHandlesNoMoreEvents) {
    krel_platform::signal(SIGINT, recordA);
    { ConsoleControlSignalTranslator translator; }
    EXPECT_FALSE(krel_platform::deliverConsoleControlEvent(CTRL_C_EVENT));
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(ConsoleControlSignalTranslatorTest, FailedRemovalIsLoggedAndIgnored) {
    {
        ConsoleControlSignalTranslator translator;
        ASSERT_TRUE(
            SetConsoleCtrlHandler(&ConsoleControlSignalTranslator::controlCodeHandler, FALSE));
    }
    ASSERT_EQ(1u, appender->events.size());
    const LogEvent& event = appender->events[0];
    EXPECT_EQ(L"STD2004", event.errorId);
    EXPECT_EQ(krel_std::ERROR, event.priority);
    EXPECT_EQ(L"ConsoleControlSignalTranslator::~ConsoleControlSignalTranslator", event.function);
    EXPECT_EQ(0u, event.message.find(
                      L"Failed to remove console control signal translator.  Reason:[87:"));
}

} // namespace
