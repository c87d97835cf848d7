#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogDispatch.h"
#include "log/LogTestSupport.h"
#include "log/StaticLog.h"
#include "support/RecordingLogTest.h"

using krel_std::StaticLog;

namespace {

class LogDispatchExclusiveTest : public krel_test::RecordingLogTest {
protected:
    static void logInfo(const std::wstring& message) {
        StaticLog::log(krel_std::INFO, L"f", message, L"m", L"", 1, L"file", 1);
    }
};

} // namespace

TEST_F(LogDispatchExclusiveTest, LogCallMadeByAnExclusiveChangeGoesToTheDebuggerOutput) {
    krel_test::DebugOutputCapture capture;
    krel_std_internal::LogDispatch::runExclusive([]() { logInfo(L"inside the change"); });
    EXPECT_TRUE(appender->events.empty());
    EXPECT_NE(std::wstring::npos, capture.all().find(L"inside the change"));
}

TEST_F(LogDispatchExclusiveTest, LogCallsOfAConfiguredChangeReachTheLogInOrderOnceItIsOver) {
    size_t seenDuringTheChange = 1;
    krel_std_internal::LogDispatch::runKeepingLogCalls([&]() {
        logInfo(L"first");
        krel_std_internal::LogDispatch::runExclusive([]() { logInfo(L"under the locks"); });
        krel_std_internal::LogDispatch::runKeepingLogCalls([]() { logInfo(L"nested"); });
        seenDuringTheChange = appender->events.size();
    });
    EXPECT_EQ(0u, seenDuringTheChange);
    EXPECT_EQ((std::vector<std::wstring>{L"first", L"under the locks", L"nested"}), messages());
}

TEST_F(LogDispatchExclusiveTest, LogCallsOfAConfiguredChangeThatThrowsStillReachTheLog) {
    EXPECT_THROW(krel_std_internal::LogDispatch::runKeepingLogCalls([]() {
                     logInfo(L"before the failure");
                     throw std::runtime_error("refused");
                 }),
                 std::runtime_error);
    ASSERT_EQ(1u, appender->events.size());
    EXPECT_EQ(L"before the failure", appender->events[0].message);
}
