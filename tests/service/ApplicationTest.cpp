#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "service/AbstractService.h"
#include "support/RecordingLogTest.h"
#include "thread/Concurrency.h"

using namespace krel_std;
using krel_test::RecordingAppender;
using krel_test::StaticLogTest;

namespace {

// A program that only exposes what the frame gives it.
class Program : public Application {
public:
    void run() override {}

    unsigned int parse(std::vector<const wchar_t*> arguments) {
        arguments.insert(arguments.begin(), L"program");
        return argumentParser->parseArguments(static_cast<int>(arguments.size()),
                                              const_cast<wchar_t**>(arguments.data()));
    }

    IArgumentParser& parser() { return *argumentParser; }
    bool shutdownSignalled() { return shutdownEvent.isSignaled(); }
    void signalShutdown() { shutdownEvent.signal(); }
};

class ApplicationFrameTest : public ::testing::Test {
protected:
    Program program;
};

TEST_F(ApplicationFrameTest, TextNamesTheClass) {
    EXPECT_EQ(L"Application{}", program.toString());
}

TEST_F(ApplicationFrameTest, TheShutdownEventStartsUnsignalledAndStaysSignalled) {
    EXPECT_FALSE(program.shutdownSignalled());
    program.signalShutdown();
    EXPECT_TRUE(program.shutdownSignalled());
    EXPECT_TRUE(program.shutdownSignalled());
}

TEST_F(ApplicationFrameTest, TheProgramReadsItsOptionsThroughTheFramesParser) {
    EXPECT_EQ(2u, program.parse({L"-F", L"-Lmy", L"log"}));
    EXPECT_TRUE(program.parser().argumentParsed(L"F"));
    EXPECT_EQ(L"mylog", program.parser().argumentValue(L"L"));
}

// A service whose run waits on the shutdown event; it records its hooks and their threads.
class RecordingService : public AbstractService {
public:
    void run() override {
        calls.push_back(L"run");
        runThread = std::this_thread::get_id();
        // Bounded so that a stop that never comes fails the test instead of hanging it.
        runReturned = Concurrency::waitForSingleObject(shutdownEvent, 60000) == 0;
    }

    std::wstring getServiceName() override { return L"KrelRecordingService"; }

    unsigned int parse(std::vector<const wchar_t*> arguments) {
        arguments.insert(arguments.begin(), L"service");
        return argumentParser->parseArguments(static_cast<int>(arguments.size()),
                                              const_cast<wchar_t**>(arguments.data()));
    }

    bool shutdownSignalled() { return shutdownEvent.isSignaled(); }

    std::vector<std::wstring> calls;
    std::thread::id startThread;
    std::thread::id runThread;
    std::atomic<bool> runReturned{false};
    std::atomic<int> onStopCalls{0};
    bool throwOnStart = false;

protected:
    void onStart() override {
        calls.push_back(L"onStart");
        startThread = std::this_thread::get_id();
        if (throwOnStart) {
            throw std::runtime_error("onStart failed");
        }
    }

    void onStop() override { ++onStopCalls; }
};

class ApplicationTest : public krel_test::RecordingLogTest {
protected:
    RecordingService service;
};

// Calls stop(true) on the service from a thread of its own once run is waiting.
class Stopper {
public:
    explicit Stopper(RecordingService& service) : thread([&service] { service.stop(true); }) {}
    ~Stopper() { thread.join(); }

private:
    std::thread thread;
};

TEST_F(ApplicationTest, TextNamesTheService) {
    EXPECT_EQ(L"AbstractService{}", service.toString());
}

TEST_F(ApplicationTest, OnlyTheOptionFRunsInTheForeground) {
    service.parse({L"-f", L"-S"});
    service.throwOnStart = true;
    // Not in the foreground: the console start never reaches onStart.
    EXPECT_FALSE(service.start());
    EXPECT_TRUE(service.calls.empty());
}

TEST_F(ApplicationTest, ForegroundStartRunsOnStartThenRunOnTheCallerAndAnswersTrueAfterRun) {
    service.parse({L"-F"});
    Stopper stopper(service);
    EXPECT_TRUE(service.start());
    EXPECT_TRUE(service.runReturned);
    EXPECT_EQ((std::vector<std::wstring>{L"onStart", L"run"}), service.calls);
    EXPECT_EQ(std::this_thread::get_id(), service.startThread);
    EXPECT_EQ(std::this_thread::get_id(), service.runThread);
}

TEST_F(ApplicationTest, ForegroundStopSignalsTheShutdownEventAndCallsOnStop) {
    service.parse({L"-F"});
    service.stop(true);
    EXPECT_TRUE(service.shutdownSignalled());
    EXPECT_EQ(1, service.onStopCalls);
}

TEST_F(ApplicationTest,
       StopOutsideTheForegroundSignalsTheShutdownEventAndGoesThroughTheController) {
    service.stop(false);
    EXPECT_TRUE(service.shutdownSignalled());
    EXPECT_EQ(1, service.onStopCalls);
}

TEST_F(ApplicationTest, AnOnStartFailureInTheForegroundReachesTheCallerWithoutRun) {
    service.parse({L"-F"});
    service.throwOnStart = true;
    EXPECT_THROW(service.start(), std::runtime_error);
    EXPECT_EQ(std::vector<std::wstring>{L"onStart"}, service.calls);
}

TEST_F(ApplicationTest, StartedFromAConsoleStartLogsTheControllerFailureAndAnswersFalse) {
    EXPECT_FALSE(service.start());
    ASSERT_EQ(1u, appender->events.size());
    const LogEvent& event = appender->events.back();
    EXPECT_EQ(L"STD2002", event.errorId);
    EXPECT_EQ(L"The service controller threw an exception: Failed to start service control "
              L"dispatcher: The service is not being run as a service (possible being run via "
              L"the console?).",
              event.message);
    EXPECT_TRUE(service.calls.empty());
}

} // namespace
