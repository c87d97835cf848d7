// What handing one event to its listeners costs: Dispatcher::submit with traces off, to one
// listener and to ten, against the plain way a program would do it without the library (a
// std::vector of std::function called under a std::mutex). The counter ns is the time of one
// submit in nanoseconds; its bounds are absolute (1 µs to one listener, 3 µs to ten).
#include <benchmark/benchmark.h>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "connection/DispatcherFactory.h"
#include "support/AllocationCounter.h"

namespace {

class BenchEvent : public krel_std::IEvent {
public:
    std::wstring toString() const override { return L"BenchEvent{}"; }
    std::wstring getName() const override { return L"quote"; }
    std::wstring getSource() const override { return L"bench"; }
};

class CountingListener : public krel_std::IEventListener {
public:
    void submit(const boost::shared_ptr<krel_std::IEvent>&) override { ++calls; }
    long calls = 0;
};

void nanosecondsPerCall(benchmark::State& state) {
    state.counters["ns"] = benchmark::Counter(1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void submitKrel(benchmark::State& state, const wchar_t* key, int listenerCount, const char* goal) {
    const boost::shared_ptr<krel_std::IDispatcher> dispatcher =
        krel_std::Singleton<krel_std::DispatcherFactory>::getInstance().getDispatcher(key);
    dispatcher->removeAllListeners();
    for (int index = 0; index < listenerCount; ++index) {
        dispatcher->addListener(boost::shared_ptr<krel_std::IEventListener>(new CountingListener),
                                L"quote");
    }
    const boost::shared_ptr<krel_std::IEvent> event(new BenchEvent);
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        dispatcher->submit(event);
    }
    scope.report(state);
    nanosecondsPerCall(state);
    state.SetLabel(goal);
}

void submitPeer(benchmark::State& state, int listenerCount) {
    std::mutex mutex;
    std::vector<std::function<void(const BenchEvent&)>> listeners;
    std::vector<long> calls(static_cast<size_t>(listenerCount));
    for (long& count : calls) {
        listeners.push_back([&count](const BenchEvent&) { ++count; });
    }
    const BenchEvent event;
    for (auto _ : state) {
        std::lock_guard<std::mutex> guard(mutex);
        for (const auto& listener : listeners) {
            listener(event);
        }
    }
    benchmark::DoNotOptimize(calls.data());
    nanosecondsPerCall(state);
}

void SubmitOneKrel(benchmark::State& state) {
    submitKrel(state, L"bench-one", 1, "ns<=1000");
}

void SubmitOnePeer(benchmark::State& state) {
    submitPeer(state, 1);
}

void SubmitTenKrel(benchmark::State& state) {
    submitKrel(state, L"bench-ten", 10, "ns<=3000");
}

void SubmitTenPeer(benchmark::State& state) {
    submitPeer(state, 10);
}

} // namespace

BENCHMARK(SubmitOneKrel)->Name("dispatcher submit to one listener/krel");
BENCHMARK(SubmitOnePeer)->Name("dispatcher submit to one listener/peer");
BENCHMARK(SubmitTenKrel)->Name("dispatcher submit to ten listeners/krel");
BENCHMARK(SubmitTenPeer)->Name("dispatcher submit to ten listeners/peer");
