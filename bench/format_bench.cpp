// Throughput of the printf-style engine behind every log message, and of a log line written
// through the static log's debugger-output path with the sink silent.
#include <benchmark/benchmark.h>

#include "base/StringUtils.h"
#include "log/StaticLog.h"

using namespace krel_std;

static void FormatTypicalLogMessage(benchmark::State& state) {
    for (auto _ : state) {
        std::wstring text;
        StringUtils::sprintfStringAppend(text, L"Maximum file size changed to: <%u>. Key <%ls> %S",
                                         1048576u, L"appender.file", "narrow");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(FormatTypicalLogMessage);

static void FormatLongText(benchmark::State& state) {
    const std::wstring payload(static_cast<size_t>(state.range(0)), L'x');
    for (auto _ : state) {
        std::wstring text;
        StringUtils::sprintfStringAppend(text, L"<%ls>", payload.c_str());
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(FormatLongText)->Arg(64)->Arg(1024)->Arg(65536);

static void LogToSilentDebugOutput(benchmark::State& state) {
    for (auto _ : state) {
        StaticLog::log(INFO, L"bench", L"a message", L"Bench", L"", 1, L"bench.cpp", 1);
    }
}
BENCHMARK(LogToSilentDebugOutput);
