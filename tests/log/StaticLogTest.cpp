#include <atomic>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include "LogTestSupport.h"
#include "base/LogFunctionCall.h"
#include "log/ContextLogMessage.h"
#include "log/DebugFileFilter.h"
#include "log/VectorLogAppender.h"

using namespace krel_std;
using krel_std_internal::StaticLogTestHook;
using krel_test::DebugOutputCapture;
using krel_test::RecordingAppender;
using krel_test::StaticLogTest;

namespace {

boost::shared_ptr<RecordingAppender> recorder() {
    return boost::shared_ptr<RecordingAppender>(
        new RecordingAppender(boost::shared_ptr<ILogEventFilter>(new DebugFileFilter())));
}

void logAt(LogEventPriority priority, const std::wstring& message,
           const std::wstring& file = L"Main", unsigned int line = 12) {
    StaticLog::log(priority, L"Main::run", message, L"KrelStd", L"", 1, file, line);
}

TEST_F(StaticLogTest, AppenderAddedBeforeInitialisationIsIgnored) {
    const auto early = recorder();
    StaticLog::addAppender(early);
    initialize({{L"a", recorder()}});
    logAt(INFO, L"m");
    EXPECT_TRUE(early->events.empty());
}

TEST_F(StaticLogTest, InitialisedLogDeliversToAppendersInNameOrder) {
    std::vector<std::wstring> order;
    const auto a = recorder();
    const auto b = recorder();
    a->duringWrite = [&order] { order.push_back(L"a"); };
    b->duringWrite = [&order] { order.push_back(L"b"); };
    initialize({{L"b", b}, {L"a", a}});

    logAt(WARN, L"m");

    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b"}), order);
    ASSERT_EQ(1u, a->events.size());
    EXPECT_EQ(L"m", a->events[0].message);
    EXPECT_EQ(L"Main::run", a->events[0].function);
}

TEST_F(StaticLogTest, AnInitialisedLogIsHeardWithoutDebuggerOutput) {
    initialize({{L"a", recorder()}});
    EXPECT_TRUE(StaticLog::isOutputHeard());
}

TEST_F(StaticLogTest, InitialisationWithoutAppendersKeepsTheFallback) {
    DebugOutputCapture capture;
    initialize({});
    StaticLogTestHook::setThreshold(FATAL);
    EXPECT_TRUE(StaticLog::isThresholdOn(DEBUG));
    logAt(INFO, L"still here");
    const auto texts = capture.lines();
    ASSERT_EQ(2u, texts.size());
    EXPECT_NE(std::wstring::npos,
              texts[0].find(L" : Logging was not initialized because no appenders were found."));
    EXPECT_EQ(L"INFO : still here\n", texts[1]);
}

TEST_F(StaticLogTest, SecondInitialisationChangesNothing) {
    const auto first = recorder();
    const auto second = recorder();
    initialize({{L"a", first}}, L"First");
    initialize({{L"a", second}}, L"Second");
    logAt(INFO, L"m");
    EXPECT_EQ(L"First", StaticLog::getModuleName());
    EXPECT_EQ(1u, first->events.size());
    EXPECT_TRUE(second->events.empty());
}

TEST_F(StaticLogTest, InitialisedThresholdFollowsTheConfiguration) {
    initialize({{L"a", recorder()}});
    StaticLogTestHook::setThreshold(WARN);
    EXPECT_FALSE(StaticLog::isThresholdOn(INFO));
    EXPECT_TRUE(StaticLog::isThresholdOn(WARN));
    StaticLogTestHook::setThreshold(DUMP);
    EXPECT_TRUE(StaticLog::isThresholdOn(DUMP));
}

TEST_F(StaticLogTest, DestroyedLogFallsBackAndIgnoresAppenders) {
    const auto appender = recorder();
    initialize({{L"a", appender}});
    StaticLogTestHook::destroy();

    DebugOutputCapture capture;
    logAt(ERROR, L"late");
    initialize({{L"b", recorder()}});
    logAt(ERROR, L"later");
    const auto added = recorder();
    StaticLog::addAppender(added);
    logAt(ERROR, L"latest");

    EXPECT_TRUE(appender->events.empty());
    EXPECT_TRUE(added->events.empty());
    EXPECT_EQ(3u, capture.lines().size());
}

// The unload may arrive while another thread is initialising the log. Whichever way the two
// interleave, the log ends destroyed: not initialised, writing to the debugger output. The
// unload starts a little later in each round, so some rounds overlap the initialisation.
TEST_F(StaticLogTest, UnloadDuringAnInitialisationLeavesTheLogDestroyed) {
    const auto appender = recorder();
    for (int round = 0; round < 600; ++round) {
        StaticLogTestHook::reset();
        StaticLogTestHook::setThreshold(FATAL);
        std::atomic<bool> go{false};
        std::thread initialiser([&] {
            while (!go) {
            }
            initialize({{L"a", appender}});
        });
        std::thread unloader([&] {
            while (!go) {
            }
            for (volatile int delay = 0; delay < round % 300; ++delay) {
            }
            StaticLogTestHook::destroy();
        });
        go = true;
        initialiser.join();
        unloader.join();
        ASSERT_TRUE(StaticLog::isThresholdOn(DEBUG)) << "round " << round;
    }
    DebugOutputCapture capture;
    logAt(ERROR, L"after unload");
    EXPECT_EQ(std::vector<std::wstring>{L"ERROR : after unload\n"}, capture.lines());
}

TEST_F(StaticLogTest, ScopeTracerLogsBeginAndEndAtCallOnlyWhenTheThresholdAllows) {
    const auto appender = recorder();
    initialize({{L"a", appender}});
    StaticLogTestHook::setThreshold(DEBUG);
    { KREL_TRACE_SCOPE(L"krel_std::Foo::bar"); }
    EXPECT_TRUE(appender->events.empty());

    StaticLogTestHook::setThreshold(CALL);
    { KREL_TRACE_SCOPE(L"krel_std::Foo::bar"); }
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(L"Begin.", appender->events[0].message);
    EXPECT_EQ(L"End.", appender->events[1].message);
    for (const LogEvent& event : appender->events) {
        EXPECT_EQ(CALL, event.priority);
        EXPECT_EQ(L"krel_std::Foo::bar", event.function);
        EXPECT_EQ(L"StaticLogTest.cpp", event.file);
        EXPECT_EQ(appender->events[0].line, event.line);
    }
}

TEST_F(StaticLogTest, ScopeOpenedWhileTracingWasOffLogsOnlyItsEnd) {
    const auto appender = recorder();
    initialize({{L"a", appender}});
    {
        KREL_TRACE_SCOPE(L"krel_std::Foo::bar");
        StaticLogTestHook::setThreshold(CALL);
    }
    ASSERT_EQ(1u, appender->events.size());
    EXPECT_EQ(L"End.", appender->events[0].message);
}

TEST_F(StaticLogTest, ThresholdSetBeforeInitialisationTakesEffectWithIt) {
    StaticLogTestHook::setThreshold(WARN);
    EXPECT_TRUE(StaticLog::isThresholdOn(DEBUG));
    initialize({{L"a", recorder()}});
    EXPECT_FALSE(StaticLog::isThresholdOn(INFO));
    EXPECT_TRUE(StaticLog::isThresholdOn(WARN));
    StaticLogTestHook::destroy();
    EXPECT_TRUE(StaticLog::isThresholdOn(DEBUG));
    EXPECT_FALSE(StaticLog::isThresholdOn(CALL));
    EXPECT_EQ(WARN, StaticLog::getThreshold());
}

TEST_F(StaticLogTest, FormattedCallFromInsideAnAppenderGoesToTheDebuggerOutput) {
    DebugOutputCapture capture;
    const auto appender = recorder();
    appender->duringWrite = [] {
        ContextLogMessage::log(INFO, L"Inner::f", L"KrelStd", L"", 1, L"I.cpp", 3, L"inner %d", 2);
    };
    initialize({{L"a", appender}});

    ContextLogMessage::log(WARN, L"Outer::f", L"KrelStd", L"", 1, L"O.cpp", 4, L"outer %d", 1);

    ASSERT_EQ(1u, appender->events.size());
    EXPECT_EQ(L"outer 1", appender->events[0].message);
    EXPECT_EQ(L"O.cpp", appender->events[0].file);
    EXPECT_EQ(std::vector<std::wstring>{L"INFO : inner 2\n"}, capture.lines());
}

TEST_F(StaticLogTest, MemoryAppenderKeepsEveryPriorityUntilCleared) {
    initialize({{L"a", recorder()}});
    VectorLogAppender memory;
    for (LogEventPriority priority : {DUMP, TRACE, CALL, DEBUG, INFO, WARN, ERROR, FATAL}) {
        logAt(priority, L"m");
    }
    const auto lines = memory.getLogStatements();
    ASSERT_EQ(8u, lines.size());
    EXPECT_NE(std::wstring::npos, lines.front().find(L" DUMP Main[12] m\n"));
    EXPECT_NE(std::wstring::npos, lines.back().find(L" FATAL Main[12] m\n"));
    memory.clear();
    EXPECT_TRUE(memory.getLogStatements().empty());
}

TEST_F(StaticLogTest, DestroyedMemoryAppenderLeavesTheLog) {
    const auto remaining = recorder();
    initialize({{L"a", remaining}});
    { VectorLogAppender memory; }
    logAt(INFO, L"m");
    EXPECT_EQ(1u, remaining->events.size());
}

// Each appender call must see the whole line, and no two threads may be inside the appenders
// at once.
TEST_F(StaticLogTest, ManyThreadsLoggingAtOnceLoseAndInterleaveNothing) {
    const auto guard = recorder();
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    guard->duringWrite = [&] {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        inside.fetch_sub(1);
    };
    initialize({{L"a", guard}});
    VectorLogAppender memory;

    const int threadCount = 8;
    const int linesPerThread = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < linesPerThread; ++n) {
                ContextLogMessage::log(INFO, L"Worker::run", L"KrelStd", L"", t, L"W.cpp", 1,
                                       L"thread %d line %d end", t, n);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    EXPECT_FALSE(overlapped);
    const auto lines = memory.getLogStatements();
    ASSERT_EQ(static_cast<size_t>(threadCount * linesPerThread), lines.size());
    std::vector<int> next(threadCount, 0);
    for (const std::wstring& line : lines) {
        const size_t at = line.find(L" INFO W.cpp[1] thread ");
        ASSERT_NE(std::wstring::npos, at) << line;
        std::wistringstream rest(line.substr(at + 22));
        int t = -1;
        int n = -1;
        std::wstring word;
        rest >> t >> word >> n >> word;
        ASSERT_TRUE(t >= 0 && t < threadCount) << line;
        EXPECT_EQ(next[t]++, n) << line;
        EXPECT_EQ(L"end", word);
        EXPECT_EQ(line.find(L'\n'), line.size() - 1) << line;
    }
}

} // namespace
