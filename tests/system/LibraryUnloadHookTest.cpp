#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "base/LibraryMain.h"
#include "exception/KrelXmlException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "xml/XmlUtils.h"

// The unload hook runs once per process, so each case runs it in a child process and reports
// through the child's exit code: 0 when the case holds.
namespace {

using krel_std::LogEventPriority;

void logInfo(const std::wstring& message) {
    krel_std::StaticLog::log(LogEventPriority::INFO, L"Main::run", message, L"KrelStd", L"", 1, L"",
                             0);
}

boost::shared_ptr<krel_test::RecordingAppender> recorder() {
    return boost::shared_ptr<krel_test::RecordingAppender>(new krel_test::RecordingAppender(
        boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter())));
}

void logCallAfterUnload() {
    const auto appender = recorder();
    krel_std_internal::StaticLogTestHook::initialize(L"UnloadLog", {{L"recorder", appender}});
    logInfo(L"before unload");
    krel_std_internal::krelLibraryDetach();
    krel_test::DebugOutputCapture capture;
    logInfo(L"after unload");
    const bool debugOutput = capture.all().find(L"INFO : after unload") != std::wstring::npos;
    std::_Exit(debugOutput && appender->events.size() == 1 ? 0 : 1);
}

void logCallsOnAnotherThreadDuringUnload() {
    krel_std_internal::StaticLogTestHook::initialize(L"UnloadLog", {{L"recorder", recorder()}});
    krel_test::DebugOutputCapture capture;
    std::atomic<bool> stop{false};
    std::atomic<unsigned int> calls{0};
    std::thread logger([&] {
        while (!stop) {
            logInfo(L"from the other thread");
            ++calls;
        }
    });
    while (calls == 0) {
        std::this_thread::yield();
    }
    krel_std_internal::krelLibraryDetach();
    const unsigned int atUnload = calls;
    while (calls < atUnload + 2) {
        std::this_thread::yield();
    }
    stop = true;
    logger.join();
    std::_Exit(capture.all().find(L"from the other thread") != std::wstring::npos ? 0 : 1);
}

void parseAfterUnload() {
    xercesc::XercesDOMParser& parser = *new xercesc::XercesDOMParser;
    krel_std_internal::krelLibraryDetach();
    try {
        krel_std::XmlUtils::parseAndGetDocument(L"LibraryUnloadHookTest", parser,
                                                std::string("<preferences/>"));
    } catch (const krel_std::KrelXmlException& error) {
        std::_Exit(error.getMessage() == L"XML system is not running." ? 0 : 2);
    }
    std::_Exit(1);
}

void unloadWithoutTheCallbackQueue() {
    krel_std_internal::krelLibraryDetach();
    std::_Exit(0);
}

class LibraryUnloadHookDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST_F(LibraryUnloadHookDeathTest, LaterLogCallReachesTheDebuggerOutput) {
    EXPECT_EXIT(logCallAfterUnload(), ::testing::ExitedWithCode(0), "");
}

TEST_F(LibraryUnloadHookDeathTest, LogCallsOnAnotherThreadGoOnThroughTheUnload) {
    EXPECT_EXIT(logCallsOnAnotherThreadDuringUnload(), ::testing::ExitedWithCode(0), "");
}

TEST_F(LibraryUnloadHookDeathTest, ParseStartedAfterTheParserStoppedFailsWithXmlException) {
    EXPECT_EXIT(parseAfterUnload(), ::testing::ExitedWithCode(0), "");
}

TEST_F(LibraryUnloadHookDeathTest, CompletesInAProcessThatNeverUsedTheCallbackQueue) {
    EXPECT_EXIT(unloadWithoutTheCallbackQueue(), ::testing::ExitedWithCode(0), "");
}
