// Counts heap allocations made by the calling thread, so a benchmark can report allocations per
// call. Include it in exactly one translation unit of a benchmark program: it replaces the
// global allocation functions.
#pragma once

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <new>

namespace bench_support {

inline thread_local long long allocationCount = 0;

// Counts the allocations made between construction and report().
class AllocationScope {
public:
    AllocationScope() : start_(allocationCount) {}
    // Publishes the allocations per iteration as the counter "allocs".
    void report(benchmark::State& state) const {
        state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocationCount - start_),
                                                      benchmark::Counter::kAvgIterations);
    }

private:
    long long start_;
};

} // namespace bench_support

void* operator new(std::size_t size) {
    ++bench_support::allocationCount;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
