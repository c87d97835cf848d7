// Time measurements shared by the benchmarks that time each iteration themselves.
#pragma once

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <vector>

namespace bench_support {

// The median of the measured seconds, in milliseconds; 0 when nothing was measured.
inline double medianMilliseconds(std::vector<double>& seconds) {
    if (seconds.empty()) {
        return 0;
    }
    std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
    return seconds[seconds.size() / 2] * 1000.0;
}

// The same median in microseconds.
inline double medianMicroseconds(std::vector<double>& seconds) {
    return medianMilliseconds(seconds) * 1000.0;
}

// The mean time per iteration since start, in microseconds, as the named counter.
inline void reportMeanMicroseconds(benchmark::State& state, const char* counter,
                                   std::chrono::steady_clock::time_point start) {
    const double elapsed =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    state.counters[counter] =
        state.iterations() > 0 ? elapsed / static_cast<double>(state.iterations()) : 0.0;
}

// Times one part of each iteration as its manual time and reports the mean, in milliseconds,
// as the "ms" counter.
class MeanTimer {
public:
    explicit MeanTimer(benchmark::State& state) : state(state) {}

    void begin() { started = std::chrono::steady_clock::now(); }

    void end() {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(seconds);
        total += seconds;
        ++count;
    }

    void report() {
        state.counters["ms"] = count == 0 ? 0.0 : total * 1000.0 / static_cast<double>(count);
    }

private:
    benchmark::State& state;
    std::chrono::steady_clock::time_point started;
    double total = 0.0;
    long count = 0;
};

} // namespace bench_support
