#include "log/LoggerBase.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include "LogTestSupport.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/ContextLogMessage.h"
#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"
#include "log/LogFileFilter.h"
#include "log/OutputDebugAppender.h"
#include "support/CancelledCall.h"

using namespace krel_std;
using krel_test::DebugOutputCapture;
using krel_test::RecordingAppender;
using krel_test::ThrowingAppender;

namespace {

boost::shared_ptr<ILogEventFilter> acceptAll() {
    return boost::shared_ptr<ILogEventFilter>(new DebugFileFilter());
}

boost::shared_ptr<RecordingAppender> recorder() {
    return boost::shared_ptr<RecordingAppender>(new RecordingAppender(acceptAll()));
}

void logInfo(LoggerBase& logger, const std::wstring& message) {
    logger.log(INFO, L"Foo::bar", message, L"KrelStd", L"", 7, L"Foo.cpp", 3);
}

TEST(LoggerBaseTest, LogBuildsAnEventFromEveryArgumentButTheModule) {
    LoggerBase logger;
    const auto appender = recorder();
    logger.addAppender(appender);

    logger.log(WARN, L"Foo::bar", L"text", L"Module", L"STD3001", 77, L"Foo.cpp", 12);

    ASSERT_EQ(1u, appender->events.size());
    const LogEvent& event = appender->events[0];
    EXPECT_EQ(WARN, event.priority);
    EXPECT_EQ(L"Foo::bar", event.function);
    EXPECT_EQ(L"text", event.message);
    EXPECT_EQ(L"STD3001", event.errorId);
    EXPECT_EQ(77u, event.threadId);
    EXPECT_EQ(L"Foo.cpp", event.file);
    EXPECT_EQ(12u, event.line);
}

// The logger refills one event from call to call: texts of the same length as the last call's
// must still be replaced, and shorter or longer ones must not keep a remnant.
TEST(LoggerBaseTest, EachEventCarriesItsOwnTextsWhateverTheLastCallLogged) {
    LoggerBase logger;
    const auto appender = recorder();
    logger.addAppender(appender);

    logger.log(INFO, L"Foo::bar", L"first text", L"KrelStd", L"STD0001", 1, L"Foo.cpp", 3);
    logger.log(INFO, L"Baz::qux", L"other text", L"KrelStd", L"STD0002", 1, L"Bar.cpp", 3);
    logger.log(INFO, L"F::b", L"a much longer text than before", L"KrelStd", L"", 1, L"", 3);
    logger.log(INFO, L"Foo::bar", L"x", L"KrelStd", L"E1", 1, L"Foo.cpp", 3);

    ASSERT_EQ(4u, appender->events.size());
    EXPECT_EQ(L"Baz::qux", appender->events[1].function);
    EXPECT_EQ(L"other text", appender->events[1].message);
    EXPECT_EQ(L"STD0002", appender->events[1].errorId);
    EXPECT_EQ(L"Bar.cpp", appender->events[1].file);
    EXPECT_EQ(L"a much longer text than before", appender->events[2].message);
    EXPECT_EQ(L"", appender->events[2].errorId);
    EXPECT_EQ(L"", appender->events[2].file);
    EXPECT_EQ(L"x", appender->events[3].message);
    EXPECT_EQ(L"E1", appender->events[3].errorId);
}

TEST(LoggerBaseTest, AppendersReceiveEventsInTheOrderAdded) {
    LoggerBase logger;
    std::vector<int> order;
    const auto first = recorder();
    const auto second = recorder();
    first->duringWrite = [&order] { order.push_back(1); };
    second->duringWrite = [&order] { order.push_back(2); };
    logger.addAppender(second);
    logger.addAppender(first);

    logInfo(logger, L"m");

    EXPECT_EQ((std::vector<int>{2, 1}), order);
}

TEST(LoggerBaseTest, AddingTwiceKeepsOneEntryAndRemovingRemovesIt) {
    LoggerBase logger;
    const auto appender = recorder();
    logger.addAppender(appender);
    logger.addAppender(appender);
    logInfo(logger, L"m");
    EXPECT_EQ(1u, appender->events.size());
    EXPECT_TRUE(logger.containsAppender(appender));

    logger.removeAppender(appender);
    logger.removeAppender(appender);
    logInfo(logger, L"m");
    EXPECT_EQ(1u, appender->events.size());
    EXPECT_FALSE(logger.containsAppender(appender));
}

TEST(LoggerBaseTest, AddingANullAppenderThrows) {
    LoggerBase logger;
    try {
        logger.addAppender(boost::shared_ptr<ILogAppender>());
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Appender to add must not be NULL.", e.getMessage());
    }
}

TEST(LoggerBaseTest, ThrowingAppenderIsDroppedForGoodWhileTheOthersGoOn) {
    LoggerBase logger;
    const auto first = recorder();
    const boost::shared_ptr<ThrowingAppender> failing(new ThrowingAppender(acceptAll()));
    const auto third = recorder();
    logger.addAppender(first);
    logger.addAppender(failing);
    logger.addAppender(third);

    logInfo(logger, L"one");
    logInfo(logger, L"two");

    EXPECT_EQ(1, failing->attempts);
    EXPECT_FALSE(logger.containsAppender(failing));
    EXPECT_EQ(2u, first->events.size());
    EXPECT_EQ(2u, third->events.size());
}

TEST(LoggerBaseTest, CancellingAThreadInsideAnAppenderLeavesTheLoggerServing) {
    LoggerBase logger;
    const auto appender = recorder();
    logger.addAppender(appender);
    struct Shared {
        LoggerBase& logger;
        krel_test::CancelledCall call{std::chrono::seconds(10)};
    } shared{logger};
    appender->duringWrite = [&shared] { shared.call.enterAndAwaitCancellation(); };
    auto body = [](void* argument) -> void* {
        logInfo(static_cast<Shared*>(argument)->logger, L"cancelled");
        return nullptr;
    };
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, nullptr, body, &shared));
    ASSERT_TRUE(shared.call.waitUntilEntered());
    EXPECT_TRUE(shared.call.cancelAndWaitForEnd());
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(PTHREAD_CANCELED, result);

    appender->duringWrite = nullptr;
    logInfo(logger, L"after");
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(L"after", appender->events[1].message);
}

TEST(LoggerBaseTest, LogCallFromInsideAnAppenderGoesToTheDebuggerOutput) {
    DebugOutputCapture capture;
    LoggerBase logger;
    const auto appender = recorder();
    appender->duringWrite = [&logger] {
        logger.log(DEBUG, L"Foo::roll", L"rolling over", L"KrelStd", L"", 7, L"Roll.cpp", 40);
    };
    logger.addAppender(appender);

    logInfo(logger, L"m");

    EXPECT_EQ(1u, appender->events.size());
    EXPECT_EQ(std::vector<std::wstring>{L"Roll.cpp[40] : rolling over\n"}, capture.lines());
}

TEST(LoggerBaseTest, ConsecutiveEventsCarryNothingOfTheEarlierOne) {
    LoggerBase logger;
    const auto appender = recorder();
    logger.addAppender(appender);

    logger.log(WARN, L"Foo::bar", L"first text", L"Module", L"STD3001", 77, L"Foo.cpp", 12);
    logger.log(INFO, L"", L"", L"Module", L"", 5, L"", 0);

    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(L"first text", appender->events[0].message);
    const LogEvent& second = appender->events[1];
    EXPECT_EQ(INFO, second.priority);
    EXPECT_EQ(L"", second.function);
    EXPECT_EQ(L"", second.message);
    EXPECT_EQ(L"", second.errorId);
    EXPECT_EQ(5u, second.threadId);
    EXPECT_EQ(L"", second.file);
    EXPECT_EQ(0u, second.line);
}

TEST(LoggerBaseTest, ShortLineAfterALongOneIsWrittenWhole) {
    LoggerBase logger;
    const boost::shared_ptr<RecordingAppender> appender(new RecordingAppender(
        acceptAll(), boost::shared_ptr<ILogEventLayout>(new KrelLogLayout())));
    logger.addAppender(appender);

    logInfo(logger, std::wstring(300, L'x'));
    logInfo(logger, L"short");

    ASSERT_EQ(2u, appender->lines.size());
    const std::wstring& line = appender->lines[1];
    ASSERT_NE(std::wstring::npos, line.find(L" INFO "));
    EXPECT_EQ(L" INFO Foo.cpp[3] short\n", line.substr(line.find(L" INFO ")));
}

// Writes an event of its own through another appender before it keeps its own line, as an
// appender that forwards to others would.
class ForwardingAppender : public RecordingAppender {
public:
    ForwardingAppender(const boost::shared_ptr<ILogAppender>& inner)
        : RecordingAppender(acceptAll(), boost::shared_ptr<ILogEventLayout>(new KrelLogLayout())),
          inner(inner) {}

protected:
    void localAppend(const std::wstring& line) override {
        LogEvent other(WARN);
        other.message = std::wstring(200, L'y');
        inner->append(other);
        lines.push_back(line);
    }

private:
    boost::shared_ptr<ILogAppender> inner;
};

TEST(LoggerBaseTest, LineFormattedInsideAnotherAppendersWriteLeavesThatLineWhole) {
    LoggerBase logger;
    const boost::shared_ptr<RecordingAppender> inner(new RecordingAppender(
        acceptAll(), boost::shared_ptr<ILogEventLayout>(new KrelLogLayout())));
    const boost::shared_ptr<ForwardingAppender> outer(new ForwardingAppender(inner));
    logger.addAppender(outer);

    logInfo(logger, L"outer message");

    ASSERT_EQ(1u, outer->lines.size());
    ASSERT_EQ(1u, inner->lines.size());
    const std::wstring& line = outer->lines[0];
    EXPECT_EQ(L" INFO Foo.cpp[3] outer message\n", line.substr(line.find(L" INFO ")));
    EXPECT_EQ(L" WARN " + std::wstring(200, L'y') + L"\n",
              inner->lines[0].substr(inner->lines[0].find(L" WARN ")));
}

TEST(LoggerBaseTest, AppenderRemovedDuringAWriteStillReceivesThatEventOnly) {
    LoggerBase logger;
    const auto first = recorder();
    const auto second = recorder();
    first->duringWrite = [&logger, &second] { logger.removeAppender(second); };
    logger.addAppender(first);
    logger.addAppender(second);

    logInfo(logger, L"one");
    logInfo(logger, L"two");

    EXPECT_EQ(2u, first->events.size());
    ASSERT_EQ(1u, second->events.size());
    EXPECT_EQ(L"one", second->events[0].message);
    EXPECT_FALSE(logger.containsAppender(second));
}

TEST(LoggerBaseTest, AppenderAddedDuringAWriteReceivesOnlyLaterEvents) {
    LoggerBase logger;
    const auto first = recorder();
    const auto late = recorder();
    first->duringWrite = [&logger, &late] { logger.addAppender(late); };
    logger.addAppender(first);

    logInfo(logger, L"one");
    logInfo(logger, L"two");

    ASSERT_EQ(1u, late->events.size());
    EXPECT_EQ(L"two", late->events[0].message);
}

TEST(ILogAppenderTest, AppenderWithoutFilterWritesNothing) {
    RecordingAppender appender{boost::shared_ptr<ILogEventFilter>()};
    appender.append(LogEvent(FATAL));
    EXPECT_TRUE(appender.events.empty());
}

TEST(ILogAppenderTest, FilterDecidesAndLayoutSelectsTheTextForm) {
    RecordingAppender appender{boost::shared_ptr<ILogEventFilter>(new LogFileFilter())};
    appender.append(LogEvent(DEBUG));
    appender.append(LogEvent(INFO));
    EXPECT_EQ(1u, appender.events.size());

    appender.setLayout(boost::shared_ptr<ILogEventLayout>(new KrelLogLayout()));
    LogEvent event(ERROR);
    event.message = L"failed";
    appender.append(event);
    EXPECT_EQ(1u, appender.events.size());
    ASSERT_EQ(1u, appender.lines.size());
    EXPECT_NE(std::wstring::npos, appender.lines[0].find(L" ERROR failed\n"));
}

TEST(OutputDebugAppenderTest, WritesFormattedLinesOnlyWithALayout) {
    DebugOutputCapture capture;
    OutputDebugAppender appender;
    appender.setFilter(acceptAll());
    LogEvent event(INFO);
    event.message = L"hello";
    appender.append(event);
    EXPECT_TRUE(capture.lines().empty());

    appender.setLayout(boost::shared_ptr<ILogEventLayout>(new KrelLogLayout()));
    appender.append(event);
    const auto texts = capture.lines();
    ASSERT_EQ(1u, texts.size());
    EXPECT_NE(std::wstring::npos, texts[0].find(L" INFO hello\n"));
    EXPECT_EQ(L"krel_std.OutputDebugAppender", appender.getClassName());
}

} // namespace
