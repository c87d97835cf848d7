#include "log/LogEvent.h"

#include <ctime>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogEventPriority.h"
#include "log/LogFileFilter.h"

using namespace krel_std;

namespace {

const LogEventPriority ALL_PRIORITIES[] = {DUMP, TRACE, CALL, DEBUG, INFO, WARN, ERROR, FATAL};

TEST(LogEventPriorityTest, EachPriorityHasItsName) {
    const wchar_t* names[] = {L"DUMP", L"TRACE", L"CALL",  L"DEBUG",
                              L"INFO", L"WARN",  L"ERROR", L"FATAL"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(names[i], logEventPriorityToString(ALL_PRIORITIES[i]));
        EXPECT_EQ(ALL_PRIORITIES[i],
                  logEventPriorityFromString(names[i], DUMP == ALL_PRIORITIES[i] ? FATAL : DUMP));
    }
}

TEST(LogEventTest, DefaultEventHasNoThreadIdAndLineAllOnes) {
    const std::time_t before = std::time(nullptr);
    const LogEvent event;
    EXPECT_EQ(DUMP, event.priority);
    EXPECT_EQ(0xFFFFFFFFull, event.threadId);
    EXPECT_EQ(0xFFFFFFFFu, event.line);
    EXPECT_TRUE(event.errorId.empty());
    EXPECT_TRUE(event.file.empty());
    EXPECT_TRUE(event.function.empty());
    EXPECT_TRUE(event.message.empty());
    EXPECT_GE(event.time.time, before - 1);
    EXPECT_LE(event.time.time, std::time(nullptr) + 1);
    EXPECT_LT(event.time.millitm, 1000);
}

TEST(LogEventTest, CopyAndAssignmentCarryEveryField) {
    LogEvent event(WARN);
    event.errorId = L"STD3001";
    event.threadId = 42;
    event.file = L"Foo.cpp";
    event.line = 7;
    event.function = L"Foo::bar";
    event.message = L"text";

    const LogEvent copy(event);
    LogEvent assigned;
    assigned = event;
    for (const LogEvent* other : std::vector<const LogEvent*>{&copy, &assigned}) {
        EXPECT_EQ(WARN, other->priority);
        EXPECT_EQ(L"STD3001", other->errorId);
        EXPECT_EQ(42u, other->threadId);
        EXPECT_EQ(L"Foo.cpp", other->file);
        EXPECT_EQ(7u, other->line);
        EXPECT_EQ(L"Foo::bar", other->function);
        EXPECT_EQ(L"text", other->message);
        EXPECT_EQ(event.time.time, other->time.time);
        EXPECT_EQ(event.time.millitm, other->time.millitm);
    }
    assigned = assigned;
    EXPECT_EQ(L"text", assigned.message);
}

TEST(LogFilterTest, LogFileFilterDropsTheDebugPriorities) {
    LogFileFilter filter;
    for (LogEventPriority priority : ALL_PRIORITIES) {
        const ILogEventFilter::FilterDecision expected =
            priority <= DEBUG ? ILogEventFilter::DENY : ILogEventFilter::ACCEPT;
        EXPECT_EQ(expected, filter.decide(LogEvent(priority))) << priority;
    }
}

TEST(LogFilterTest, DebugFileFilterAcceptsEveryPriority) {
    DebugFileFilter filter;
    for (LogEventPriority priority : ALL_PRIORITIES) {
        EXPECT_EQ(ILogEventFilter::ACCEPT, filter.decide(LogEvent(priority))) << priority;
    }
}

TEST(LogFilterTest, FiltersAreMadeByPrototypeAndNamedByDottedName) {
    LogFileFilter logPrototype;
    DebugFileFilter debugPrototype;
    std::unique_ptr<Configurable> logFilter(logPrototype.newInstance({{L"any", L"value"}}));
    std::unique_ptr<Configurable> debugFilter(debugPrototype.newInstance({}));
    EXPECT_NE(nullptr, dynamic_cast<LogFileFilter*>(logFilter.get()));
    EXPECT_NE(nullptr, dynamic_cast<DebugFileFilter*>(debugFilter.get()));
    EXPECT_EQ(L"krel_std.LogFileFilter", logPrototype.getClassName());
    EXPECT_EQ(L"krel_std.DebugFileFilter", debugPrototype.getClassName());
}

} // namespace
