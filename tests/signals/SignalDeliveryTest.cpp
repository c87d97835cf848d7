#include "platform/SignalDelivery.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include "SignalTestSupport.h"
#include "exception/KrelIllegalStateException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "platform/WinBase.h"
#include "platform/WinConsole.h"
#include "platform/WinError.h"
#include "support/RecordingLogTest.h"

using namespace krel_test;

namespace {

class SignalDeliveryTest : public SignalTest {};

void throwAfterRecording(int signal) {
    SignalRecorder::get().record(2, signal);
    throw krel_std::KrelIllegalStateException(L"handler failed");
}

TEST_F(SignalDeliveryTest, RealSignalRunsItsFunctionOnTheDeliveryThread) {
    krel_platform::signal(SIGUSR1, recordA);
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(recorder.waitForCalls(1));
    const SignalCall call = recorder.calls()[0];
    EXPECT_EQ(SIGUSR1, call.signal);
    EXPECT_EQ(krel_platform::signalDeliveryThreadId(), call.threadId);
    EXPECT_NE(krel_std::Thread::getCurrentThreadId(), call.threadId);
}

TEST_F(SignalDeliveryTest, FunctionStaysInstalledAfterItsCall) {
    krel_platform::signal(SIGUSR1, recordA);
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(recorder.waitForCalls(1));
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(recorder.waitForCalls(2));
    EXPECT_EQ(recordA, krel_platform::signalFunction(SIGUSR1));
}

TEST_F(SignalDeliveryTest, SignalAnswersTheFunctionItReplaces) {
    EXPECT_EQ(SIG_DFL, krel_platform::signal(SIGUSR2, recordA));
    EXPECT_EQ(recordA, krel_platform::signal(SIGUSR2, recordB));
    EXPECT_EQ(recordB, krel_platform::signal(SIGUSR2, SIG_IGN));
    EXPECT_EQ(SIG_IGN, kernelHandler(SIGUSR2));
    EXPECT_EQ(SIG_IGN, krel_platform::signal(SIGUSR2, SIG_DFL));
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR2));
}

TEST_F(SignalDeliveryTest, InvalidSignalNumbersAreRefused) {
    for (int signal : {0, -1, NSIG, SIGKILL, SIGSTOP}) {
        errno = 0;
        EXPECT_EQ(SIG_ERR, krel_platform::signal(signal, recordA)) << signal;
        EXPECT_EQ(EINVAL, errno) << signal;
    }
    errno = 0;
    EXPECT_EQ(-1, krel_platform::raise(NSIG));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(SignalDeliveryTest, SignalOfAForkedChildNeverRunsInTheParent) {
    krel_platform::signal(SIGUSR1, recordA);
    krel_platform::signal(SIGUSR2, recordB);
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        kill(getpid(), SIGUSR1);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    // Had the child's signal gone into the parent's pipe, it would be taken before this one.
    sendToSelf(SIGUSR2);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(1, recorder.calls()[0].function);
}

TEST_F(SignalDeliveryTest, RaiseCallsTheFunctionOnTheCallingThread) {
    krel_platform::signal(SIGUSR1, recordA);
    EXPECT_EQ(0, krel_platform::raise(SIGUSR1));
    ASSERT_EQ(1u, recorder.calls().size());
    EXPECT_EQ(krel_std::Thread::getCurrentThreadId(), recorder.calls()[0].threadId);
}

TEST_F(SignalDeliveryTest, RaiseLetsWhatTheFunctionThrowsReachTheCaller) {
    krel_platform::signal(SIGUSR2, throwAfterRecording);
    EXPECT_THROW(krel_platform::raise(SIGUSR2), krel_std::KrelIllegalStateException);
}

TEST_F(SignalDeliveryTest, RaiseOfAnIgnoredSignalDoesNothing) {
    krel_platform::signal(SIGUSR1, SIG_IGN);
    EXPECT_EQ(0, krel_platform::raise(SIGUSR1));
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(SignalDeliveryTest, AbortFunctionIsInstalledDirectly) {
    const auto previous = krel_platform::signal(SIGABRT, recordA);
    EXPECT_EQ(recordA, kernelHandler(SIGABRT));
    krel_platform::signal(SIGABRT, previous);
}

TEST_F(SignalDeliveryTest, FaultFunctionLeavesTheFaultTranslatorInPlace) {
    krel_platform::signal(SIGFPE, recordA);
    struct sigaction current;
    sigaction(SIGFPE, nullptr, &current);
    EXPECT_TRUE(current.sa_flags & SA_SIGINFO);
    EXPECT_NE(reinterpret_cast<void*>(recordA), reinterpret_cast<void*>(current.sa_sigaction));
    EXPECT_EQ(recordA, krel_platform::signalFunction(SIGFPE));
    krel_platform::raise(SIGFPE);
    ASSERT_EQ(1u, recorder.calls().size());
    EXPECT_EQ(SIGFPE, recorder.calls()[0].signal);
    krel_platform::signal(SIGFPE, SIG_DFL);
}

class ThrowingFunctionTest : public krel_test::RecordingLogTest {
protected:
    void SetUp() override {
        RecordingLogTest::SetUp();
        SignalRecorder::get().clear();
        krel_std_internal::StaticLogTestHook::setThreshold(krel_std::DEBUG);
    }
    void TearDown() override {
        krel_platform::signal(SIGUSR1, SIG_DFL);
        krel_platform::signal(SIGUSR2, SIG_DFL);
        RecordingLogTest::TearDown();
    }
};

TEST_F(ThrowingFunctionTest, ThrowIsTracedAndTheDeliveryThreadGoesOn) {
    krel_platform::signal(SIGUSR2, throwAfterRecording);
    krel_platform::signal(SIGUSR1, recordA);
    sendToSelf(SIGUSR2);
    ASSERT_TRUE(SignalRecorder::get().waitForCalls(1));
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(SignalRecorder::get().waitForCalls(2));
    // The trace was written before the delivery thread took the next signal.
    ASSERT_EQ(1u, appender->events.size());
    EXPECT_EQ(krel_std::DEBUG, appender->events[0].priority);
    EXPECT_NE(std::wstring::npos, appender->events[0].message.find(L"handler failed"));
    EXPECT_EQ(0, appender->events[0].message.find(L"Handler of signal 12 threw: "));
}

class ConsoleControlTest : public SignalTest {
protected:
    void TearDown() override {
        for (PHANDLER_ROUTINE handler : installed) {
            SetConsoleCtrlHandler(handler, FALSE);
        }
        SignalTest::TearDown();
    }
    void install(PHANDLER_ROUTINE handler) {
        ASSERT_TRUE(SetConsoleCtrlHandler(handler, TRUE));
        installed.push_back(handler);
    }
    std::vector<PHANDLER_ROUTINE> installed;
};

BOOL declineAndRecord(DWORD type) {
    SignalRecorder::get().record(10, static_cast<int>(type));
    return FALSE;
}

BOOL acceptAndRecord(DWORD type) {
    SignalRecorder::get().record(11, static_cast<int>(type));
    return TRUE;
}

TEST_F(ConsoleControlTest, HandlersRunNewestFirstUntilOneAccepts) {
    install(acceptAndRecord);
    install(declineAndRecord);
    EXPECT_TRUE(krel_platform::deliverConsoleControlEvent(CTRL_LOGOFF_EVENT));
    const std::vector<SignalCall> calls = recorder.calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(10, calls[0].function);
    EXPECT_EQ(11, calls[1].function);
    EXPECT_EQ(CTRL_LOGOFF_EVENT, calls[1].signal);
}

TEST_F(ConsoleControlTest, NoHandlerAcceptingAnswersFalse) {
    install(declineAndRecord);
    EXPECT_FALSE(krel_platform::deliverConsoleControlEvent(3));
    EXPECT_EQ(1u, recorder.calls().size());
}

TEST_F(ConsoleControlTest, RemovingAHandlerNotInstalledFailsWithInvalidParameter) {
    SetLastError(0);
    EXPECT_FALSE(SetConsoleCtrlHandler(acceptAndRecord, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ConsoleControlTest, IgnoredCtrlCReachesNoHandler) {
    install(declineAndRecord);
    ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE));
    EXPECT_TRUE(krel_platform::deliverConsoleControlEvent(CTRL_C_EVENT));
    ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, FALSE));
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(ConsoleControlTest, CloseSignalGoesToTheHandlersOnTheDeliveryThread) {
    install(acceptAndRecord);
    sendToSelf(SIGHUP);
    ASSERT_TRUE(recorder.waitForCalls(1));
    const SignalCall call = recorder.calls()[0];
    EXPECT_EQ(CTRL_CLOSE_EVENT, call.signal);
    EXPECT_EQ(krel_platform::signalDeliveryThreadId(), call.threadId);
}

TEST_F(ConsoleControlTest, DeclinedConsoleSignalFallsToItsFunction) {
    install(declineAndRecord);
    krel_platform::signal(SIGTERM, recordB);
    sendToSelf(SIGTERM);
    ASSERT_TRUE(recorder.waitForCalls(2));
    const std::vector<SignalCall> calls = recorder.calls();
    EXPECT_EQ(CTRL_SHUTDOWN_EVENT, calls[0].signal);
    EXPECT_EQ(1, calls[1].function);
    EXPECT_EQ(SIGTERM, calls[1].signal);
}

BOOL throwAndRecord(DWORD type) {
    SignalRecorder::get().record(12, static_cast<int>(type));
    throw krel_std::KrelIllegalStateException(L"console handler failed");
}

TEST_F(ConsoleControlTest, ThrowingConsoleHandlerLetsTheSignalFallToItsFunction) {
    install(throwAndRecord);
    krel_platform::signal(SIGHUP, recordB);
    sendToSelf(SIGHUP);
    ASSERT_TRUE(recorder.waitForCalls(2));
    EXPECT_EQ(12, recorder.calls()[0].function);
    EXPECT_EQ(1, recorder.calls()[1].function);
    EXPECT_EQ(SIGHUP, recorder.calls()[1].signal);
}

TEST_F(ConsoleControlTest, OtherSignalsNeverReachTheConsoleHandlers) {
    install(acceptAndRecord);
    krel_platform::signal(SIGUSR1, recordA);
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(0, recorder.calls()[0].function);
}

TEST_F(ConsoleControlTest, LastHandlerRemovedGivesTheSignalsTheirDispositionBack) {
    install(acceptAndRecord);
    EXPECT_NE(SIG_DFL, kernelHandler(SIGHUP));
    ASSERT_TRUE(SetConsoleCtrlHandler(acceptAndRecord, FALSE));
    installed.clear();
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGHUP));
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGINT));
}

using SignalDeliveryDeathTest = SignalDeliveryTest;

TEST_F(SignalDeliveryDeathTest, RaiseUnderTheDefaultActionEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(krel_platform::raise(SIGTERM), ::testing::KilledBySignal(SIGTERM), "");
}

TEST_F(SignalDeliveryDeathTest, DeclinedConsoleSignalWithoutFunctionTakesTheDefaultAction) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetConsoleCtrlHandler(declineAndRecord, TRUE);
            kill(getpid(), SIGTERM);
            recorder.waitForCalls(1);
            // The default action ends the process right after the handler declined.
            for (;;) {
                pause();
            }
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

void exitFromFault(int) {
    _exit(3);
}

TEST_F(SignalDeliveryDeathTest, UntranslatedFaultReachesTheFaultFunction) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            krel_platform::signal(SIGSEGV, exitFromFault);
            void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            *static_cast<volatile int*>(page) = 1;
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace
