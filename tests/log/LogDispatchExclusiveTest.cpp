#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogDispatch.h"
#include "log/LogTestSupport.h"
#include "log/StaticLog.h"

using krel_std::StaticLog;

namespace {

class LogDispatchExclusiveTest : public krel_test::StaticLogTest {
protected:
    void SetUp() override {
        StaticLogTest::SetUp();
        recorder.reset(new krel_test::RecordingAppender(
            boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter())));
        initialize({{L"a", recorder}});
    }

    static void logInfo(const std::wstring& message) {
        StaticLog::log(krel_std::INFO, L"f", message, L"m", L"", 1, L"file", 1);
    }

    boost::shared_ptr<krel_test::RecordingAppender> recorder;
};

} // namespace

TEST_F(LogDispatchExclusiveTest, LogCallMadeByAnExclusiveChangeGoesToTheDebuggerOutput) {
    krel_test::DebugOutputCapture capture;
    krel_std_internal::LogDispatch::runExclusive([]() { logInfo(L"inside the change"); });
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_NE(std::wstring::npos, capture.all().find(L"inside the change"));
}

TEST_F(LogDispatchExclusiveTest, LogCallsOfAConfiguredChangeReachTheLogInOrderOnceItIsOver) {
    size_t seenDuringTheChange = 1;
    krel_std_internal::LogDispatch::runKeepingLogCalls([&]() {
        logInfo(L"first");
        krel_std_internal::LogDispatch::runExclusive([]() { logInfo(L"under the locks"); });
        krel_std_internal::LogDispatch::runKeepingLogCalls([]() { logInfo(L"nested"); });
        seenDuringTheChange = recorder->events.size();
    });
    EXPECT_EQ(0u, seenDuringTheChange);
    std::vector<std::wstring> messages;
    for (const krel_std::LogEvent& event : recorder->events) {
        messages.push_back(event.message);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"first", L"under the locks", L"nested"}), messages);
}

TEST_F(LogDispatchExclusiveTest, LogCallsOfAConfiguredChangeThatThrowsStillReachTheLog) {
    EXPECT_THROW(krel_std_internal::LogDispatch::runKeepingLogCalls([]() {
                     logInfo(L"before the failure");
                     throw std::runtime_error("refused");
                 }),
                 std::runtime_error);
    ASSERT_EQ(1u, recorder->events.size());
    EXPECT_EQ(L"before the failure", recorder->events[0].message);
}
