// A log call at three depths: a scope tracer while tracing is off, a call below the threshold,
// and a call that reaches an in-memory appender through the full line layout.
#include <benchmark/benchmark.h>
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

namespace {

using namespace krel_std;

// Keeps the last formatted line, reusing its buffer.
class LastLineAppender : public ILogAppender {
public:
    LastLineAppender()
        : ILogAppender(boost::shared_ptr<ILogEventFilter>(new DebugFileFilter()), debugLayout()) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return nullptr;
    }

    std::wstring last;

protected:
    void localAppend(const LogEvent&) override {}
    void localAppend(const std::wstring& line) override { last.assign(line); }

private:
    // The layout with thread id and function, as made from a configuration.
    static boost::shared_ptr<ILogEventLayout> debugLayout() {
        KrelLogLayout prototype;
        return boost::shared_ptr<ILogEventLayout>(
            dynamic_cast<ILogEventLayout*>(prototype.newInstance({{L"debug", L"true"}})));
    }
};

// The static log, initialised once with the memory appender and threshold INFO.
LastLineAppender& krelMemory() {
    static LastLineAppender* appender = [] {
        auto* made = new LastLineAppender();
        krel_std_internal::StaticLogTestHook::initialize(
            L"Bench", {{L"memory", boost::shared_ptr<ILogAppender>(made)}});
        krel_std_internal::StaticLogTestHook::setThreshold(INFO);
        return made;
    }();
    return *appender;
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

// A logger at level info whose lines carry time, priority, thread, file, line and function.
spdlog::logger& peerLogger() {
    static spdlog::logger* logger = [] {
        auto sink = std::make_shared<LastLineSink>();
        sink->set_pattern("%Y-%m-%d %H:%M:%S:%e %l [%t] %s[%#] %!: %v");
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
    spdlog::logger& logger = peerLogger();
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

void logToMemoryPeer(benchmark::State& state) {
    spdlog::logger& logger = peerLogger();
    const spdlog::source_loc location{"LogBench.cpp", 12, "Bench::run"};
    int value = 0;
    for (auto _ : state) {
        logger.log(location, spdlog::level::info, "value {}", ++value);
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
    spdlog::logger& logger = peerLogger();
    int value = 0;
    for (auto _ : state) {
        logger.debug("value {}", ++value);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(traceScopeOffKrel)->Name("trace scope off/krel");
BENCHMARK(traceScopeOffPeer)->Name("trace scope off/peer");
BENCHMARK(logToMemoryKrel)->Name("log call to memory appender/krel");
BENCHMARK(logToMemoryPeer)->Name("log call to memory appender/peer");
BENCHMARK(belowThresholdKrel)->Name("log call below threshold/krel");
BENCHMARK(belowThresholdPeer)->Name("log call below threshold/peer");

} // namespace
