// The trace lines of the library's base area reach the static log through the writers the log
// installs: with the writing thread's id and the caller's function, file and line.

#include <gtest/gtest.h>
#include <thread>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"
#include "support/RecordingLogTest.h"
#include "thread/Thread.h"

using krel_std::LogEvent;

namespace {

class TraceWritersTest : public krel_test::RecordingLogTest {
protected:
    void SetUp() override {
        RecordingLogTest::SetUp();
        krel_std_internal::StaticLogTestHook::setThreshold(krel_std::DUMP);
    }

    const LogEvent& only() {
        EXPECT_EQ(1u, appender->events.size());
        static const LogEvent none;
        return appender->events.empty() ? none : appender->events.front();
    }
};

TEST_F(TraceWritersTest, InternalTraceCarriesTheIdOfTheThreadThatWroteIt) {
    uint64_t writer = 0;
    std::thread([&writer] {
        writer = krel_std::Thread::getCurrentThreadId();
        krel_std::__internal_trace(L"krel_test::f", L"Test.cpp", 12, L"n <%d>.", 5);
    }).join();
    EXPECT_EQ(writer, only().threadId);
    EXPECT_NE(krel_std::Thread::getCurrentThreadId(), only().threadId);
}

TEST_F(TraceWritersTest, InternalTraceKeepsItsLevelFunctionFileLineAndFormattedText) {
    krel_std::__internal_dump(L"krel_test::f", L"Test.cpp", 12, L"n <%d> k <%ls>.", 5, L"v");
    EXPECT_EQ(krel_std::DUMP, only().priority);
    EXPECT_EQ(L"krel_test::f", only().function);
    EXPECT_EQ(L"Test.cpp", only().file);
    EXPECT_EQ(12u, only().line);
    EXPECT_EQ(L"n <5> k <v>.", only().message);
}

TEST_F(TraceWritersTest, ScopeTracerLinesCarryTheIdOfTheThreadThatWroteThem) {
    uint64_t writer = 0;
    std::thread([&writer] {
        writer = krel_std::Thread::getCurrentThreadId();
        krel_std::LogFunctionCall scope(L"krel_test::g", L"KrelStd", L"Scope.cpp", 3,
                                        krel_std::CALL, true);
    }).join();
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(writer, appender->events[0].threadId);
    EXPECT_EQ(writer, appender->events[1].threadId);
    EXPECT_EQ(L"End.", appender->events[1].message);
}

TEST_F(TraceWritersTest, FailedValueCheckIsTracedUnderTheCallersNameInErrorUtils) {
    EXPECT_THROW(krel_std::ErrorUtils::isEmptyEx(L"", L"krel_test::Caller::op", L"Key"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_EQ(krel_std::DEBUG, only().priority);
    EXPECT_EQ(L"krel_test::Caller::op", only().function);
    EXPECT_EQ(L"ErrorUtils.cpp", only().file);
    EXPECT_EQ(L"Key value is empty.", only().message);
    EXPECT_EQ(krel_std::Thread::getCurrentThreadId(), only().threadId);
}

TEST_F(TraceWritersTest, FailedValueCheckWithoutACallerIsTracedUnderNULL) {
    EXPECT_THROW(krel_std::ErrorUtils::isEmptyEx(L"", nullptr, L"Key"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_EQ(L"NULL", only().function);
}

TEST_F(TraceWritersTest, FailedPointerCheckIsTracedUnderTheChecksOwnName) {
    EXPECT_THROW(krel_std::ErrorUtils::isNullEx(nullptr, L"krel_test::Caller::op", L"Buffer"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_EQ(L"krel_std::ErrorUtils::isNullEx", only().function);
    EXPECT_EQ(L"ErrorUtils.cpp", only().file);
    EXPECT_EQ(L"Buffer value is NULL.", only().message);
}

} // namespace
