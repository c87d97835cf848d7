// The printf-style engine on a typical log line (a number, a 60-character text and a padded
// hexadecimal status, 110 characters in all): into a caller's buffer against the C library's
// wide formatter, and into a new wide string against a type-safe formatting library.
#include <benchmark/benchmark.h>
#include <cwchar>
#include <fmt/format.h>
#include <fmt/xchar.h>
#include <string>

#include "base/KrelStdUtils.h"
#include "base/StringUtils.h"
#include "platform/WinCrt.h"
#include "support/AllocationCounter.h"

namespace {

const wchar_t kLineFormat[] = L"Request %d from %ls finished, status 0x%08X.";
const wchar_t kPeerFormat[] = L"Request {} from {} finished, status 0x{:08X}.";
const wchar_t kClient[] = L"client-7f3a.eu-west.internal.example.net:443 (worker pool 12)";
const int kRequest = 1234567;
const unsigned int kStatus = 0xC0DE42u;

void lineIntoBufferKrel(benchmark::State& state) {
    wchar_t buffer[256];
    state.SetLabel("goal<=1.2");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(_snwprintf(buffer, 256, kLineFormat, kRequest, kClient, kStatus));
        benchmark::ClobberMemory();
    }
    scope.report(state);
}
BENCHMARK(lineIntoBufferKrel)->Name("format line into buffer/krel");

void lineIntoBufferPeer(benchmark::State& state) {
    wchar_t buffer[256];
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            std::swprintf(buffer, 256, kLineFormat, kRequest, kClient, kStatus));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(lineIntoBufferPeer)->Name("format line into buffer/peer");

void lineIntoWStringKrel(benchmark::State& state) {
    state.SetLabel("goal<=1.5");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        std::wstring text;
        krel_std::StringUtils::sprintfStringAppend(text, kLineFormat, kRequest, kClient, kStatus);
        benchmark::DoNotOptimize(text);
    }
    scope.report(state);
}
BENCHMARK(lineIntoWStringKrel)->Name("format line into wstring/krel");

void lineIntoWStringPeer(benchmark::State& state) {
    for (auto _ : state) {
        std::wstring text = fmt::format(kPeerFormat, kRequest, kClient, kStatus);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(lineIntoWStringPeer)->Name("format line into wstring/peer");

void lineIntoSWStringKrel(benchmark::State& state) {
    state.SetLabel("goal<=1.5");
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        KrelStd::SWString text = KrelStd::sprintfString(kLineFormat, kRequest, kClient, kStatus);
        benchmark::DoNotOptimize(text);
    }
    scope.report(state);
}
BENCHMARK(lineIntoSWStringKrel)->Name("format line with KrelStd::sprintfString/krel");

void lineIntoSWStringPeer(benchmark::State& state) {
    for (auto _ : state) {
        std::wstring text = fmt::format(kPeerFormat, kRequest, kClient, kStatus);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(lineIntoSWStringPeer)->Name("format line with KrelStd::sprintfString/peer");

} // namespace
