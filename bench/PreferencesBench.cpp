// A preference read on a node already made, through the node tree of the in-memory test back
// end, against what a user would write instead: a map lookup under a mutex. The back end itself
// does such a lookup, so the difference is the tree's own share (key checks, the node's lock,
// the removal check, the default rule and the trace scope).
#include <benchmark/benchmark.h>
#include <map>
#include <mutex>
#include <string>

#include "../tests/support/MemoryPreferences.h"
#include "support/AllocationCounter.h"

namespace {

void PreferencesGetKrel(benchmark::State& state) {
    krel_test::MemoryPreferencesFactory factory;
    const boost::shared_ptr<krel_std::Preferences> node = factory.userRoot()->node(L"bench/node");
    node->put(L"timeout", L"1500 ms");
    const std::wstring key = L"timeout";
    const std::wstring def;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(node->get(key, def));
    }
    scope.report(state);
    // Nanoseconds per call: the inverse of calls per nanosecond.
    state.counters["get_ns"] = benchmark::Counter(
        1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel("get_ns<=300");
}

void PreferencesGetPeer(benchmark::State& state) {
    std::mutex mutex;
    std::map<std::wstring, std::wstring> values{{L"timeout", L"1500 ms"}};
    const std::wstring key = L"timeout";
    for (auto _ : state) {
        std::lock_guard<std::mutex> guard(mutex);
        const auto found = values.find(key);
        benchmark::DoNotOptimize(found != values.end() ? found->second : std::wstring());
    }
}

} // namespace

BENCHMARK(PreferencesGetKrel)->Name("Preferences/get/krel");
BENCHMARK(PreferencesGetPeer)->Name("Preferences/get/peer");
