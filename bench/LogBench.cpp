// A log call at four depths: a scope tracer while tracing is off, a call below the threshold,
// and a call that reaches an in-memory appender through the full line layout, once keeping the
// line and once only counting its characters. The counting appender receives a short line and
// a line of the usual length, with a number, a text and a padded hexadecimal field.
#include <benchmark/benchmark.h>
#include <cstddef>
#include <memory>
#include <mutex>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <string>

#include "base/LogFunctionCall.h"
#include "log/ContextLogMessage.h"
#include "log/DebugFileFilter.h"
#include "log/ILogAppender.h"
#include "log/KrelLogLayout.h"
#include "log/StaticLog.h"
#include "log/StaticLogTestHook.h"
#include "support/AllocationCounter.h"
#include "thread/Thread.h"

namespace {

using namespace krel_std;

// The layout with thread id and function, as made from a configuration.
boost::shared_ptr<ILogEventLayout> debugLayout() {
    KrelLogLayout prototype;
    return boost::shared_ptr<ILogEventLayout>(
        dynamic_cast<ILogEventLayout*>(prototype.newInstance({{L"debug", L"true"}})));
}

// An appender that writes nothing: the rows below say what it does with a formatted line.
class BenchAppender : public ILogAppender {
public:
    BenchAppender()
        : ILogAppender(boost::shared_ptr<ILogEventFilter>(new DebugFileFilter()), debugLayout()) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return nullptr;
    }

protected:
    void localAppend(const LogEvent&) override {}
};

// Keeps the last formatted line, reusing its buffer.
class LastLineAppender : public BenchAppender {
public:
    std::wstring last;

protected:
    using BenchAppender::localAppend;
    void localAppend(const std::wstring& line) override { last.assign(line); }
};

// Counts the characters of the formatted lines.
class CountingAppender : public BenchAppender {
public:
    std::size_t characters = 0;

protected:
    using BenchAppender::localAppend;
    void localAppend(const std::wstring& line) override { characters += line.size(); }
};

// The appender the static log writes to now.
ILogAppender* currentAppender = nullptr;

// Makes the one `Appender` the static log's only appender, threshold INFO, unless it is already.
template <typename Appender> Appender& logTo() {
    static const boost::shared_ptr<Appender> appender(new Appender());
    if (currentAppender != appender.get()) {
        using krel_std_internal::StaticLogTestHook;
        StaticLogTestHook::reset();
        StaticLogTestHook::initialize(L"Bench", {{L"bench", appender}});
        StaticLogTestHook::setThreshold(INFO);
        currentAppender = appender.get();
    }
    return *appender;
}

LastLineAppender& krelMemory() {
    return logTo<LastLineAppender>();
}

// The peer's sink: formats every message into a memory buffer and keeps the last line.
class LastLineSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::string last;

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        last.assign(formatted.data(), formatted.size());
    }
    void flush_() override {}
};

// The peer's sink for the counting row: formats every message into a memory buffer and counts
// the characters.
class CountingSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::size_t characters = 0;

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        characters += formatted.size();
    }
    void flush_() override {}
};

// The pattern of the layout above: time, priority, thread, file, line, function and message.
const char kPeerPattern[] = "%Y-%m-%d %H:%M:%S:%e %l [%t] %s[%#] %!: %v";

// A logger at level info writing to one `Sink`.
template <typename Sink> spdlog::logger& peerLogger() {
    static spdlog::logger* logger = [] {
        auto sink = std::make_shared<Sink>();
        sink->set_pattern(kPeerPattern);
        auto* made = new spdlog::logger("bench", sink);
        made->set_level(spdlog::level::info);
        return made;
    }();
    return *logger;
}

void traceScopeOffKrel(benchmark::State& state) {
    krelMemory();
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        KREL_TRACE_SCOPE(L"krel_std::Bench::run");
        benchmark::ClobberMemory();
    }
    scope.report(state);
    state.SetLabel("goal<=1");
}

void traceScopeOffPeer(benchmark::State& state) {
    spdlog::logger& logger = peerLogger<LastLineSink>();
    for (auto _ : state) {
        logger.trace("Begin.");
        benchmark::ClobberMemory();
    }
}

void logToMemoryKrel(benchmark::State& state) {
    LastLineAppender& memory = krelMemory();
    ContextLogMessage context(L"Bench::run", INFO, L"KrelStd", L"LogBench.cpp", 12);
    int value = 0;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        context.log(L"value %d", ++value);
    }
    scope.report(state);
    benchmark::DoNotOptimize(memory.last.data());
    state.SetLabel("goal<=1.5");
}

// The peer's log call, through a logger whose sink is of the given kind.
template <typename Sink> void logPeer(benchmark::State& state) {
    spdlog::logger& logger = peerLogger<Sink>();
    const spdlog::source_loc location{"LogBench.cpp", 12, "Bench::run"};
    int value = 0;
    for (auto _ : state) {
        logger.log(location, spdlog::level::info, "value {}", ++value);
    }
}

void logToCountingKrel(benchmark::State& state) {
    CountingAppender& counting = logTo<CountingAppender>();
    ContextLogMessage context(L"Bench::run", INFO, L"KrelStd", L"LogBench.cpp", 12);
    int value = 0;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        context.log(L"value %d", ++value);
    }
    scope.report(state);
    benchmark::DoNotOptimize(counting.characters);
    state.SetLabel("goal<=1");
}

// The user and status of the long line: its message is 108 characters for values of 5 digits.
const wchar_t kLongLineUser[] = L"operator.backup@site-north";
const char kLongLineUserNarrow[] = "operator.backup@site-north";
const unsigned int kLongLineStatus = 0x2F0A;

// The library's own log call with literal texts, as its trace sites make it.
void logLongLineKrel(benchmark::State& state) {
    CountingAppender& counting = logTo<CountingAppender>();
    int value = 10000;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        ContextLogMessage::log(INFO, L"Bench::run", L"KrelStd", L"", Thread::getCurrentThreadId(),
                               L"LogBench.cpp", 12,
                               L"Request %d of user <%ls> ended with status 0x%08X; session cache "
                               L"written back.",
                               ++value, kLongLineUser, kLongLineStatus);
    }
    scope.report(state);
    benchmark::DoNotOptimize(counting.characters);
    state.SetLabel("goal<=1.0");
}

void logLongLinePeer(benchmark::State& state) {
    spdlog::logger& logger = peerLogger<CountingSink>();
    const spdlog::source_loc location{"LogBench.cpp", 12, "Bench::run"};
    int value = 10000;
    for (auto _ : state) {
        logger.log(location, spdlog::level::info,
                   "Request {} of user <{}> ended with status 0x{:08X}; session cache written "
                   "back.",
                   ++value, kLongLineUserNarrow, kLongLineStatus);
    }
}

void belowThresholdKrel(benchmark::State& state) {
    krelMemory();
    int value = 0;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        if (StaticLog::isThresholdOn(DEBUG)) {
            ContextLogMessage::log(DEBUG, L"Bench::run", L"KrelStd", L"", 1, L"LogBench.cpp", 12,
                                   L"value %d", ++value);
        }
        benchmark::ClobberMemory();
    }
    scope.report(state);
    state.SetLabel("goal<=1.2");
}

void belowThresholdPeer(benchmark::State& state) {
    spdlog::logger& logger = peerLogger<LastLineSink>();
    int value = 0;
    for (auto _ : state) {
        logger.debug("value {}", ++value);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(traceScopeOffKrel)->Name("trace scope off/krel");
BENCHMARK(traceScopeOffPeer)->Name("trace scope off/peer");
BENCHMARK(logToMemoryKrel)->Name("log call to memory appender/krel");
BENCHMARK(logPeer<LastLineSink>)->Name("log call to memory appender/peer");
BENCHMARK(logToCountingKrel)->Name("log call of a short line to counting appender/krel");
BENCHMARK(logPeer<CountingSink>)->Name("log call of a short line to counting appender/peer");
BENCHMARK(logLongLineKrel)->Name("log call of a long line to counting appender/krel");
BENCHMARK(logLongLinePeer)->Name("log call of a long line to counting appender/peer");
BENCHMARK(belowThresholdKrel)->Name("log call below threshold/krel");
BENCHMARK(belowThresholdPeer)->Name("log call below threshold/peer");

} // namespace
