// How long a signal takes to reach its function on a thread where the function may lock and
// log: a kill of the own process, timed until the function has run, through the library's
// delivery thread against a hand-written sigaction handler, self-pipe and reader thread.
// The time of each iteration is that latency (manual time); the counter latency_us is the
// median latency of the run in microseconds.
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <signal.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/WinSignal.h"
#include "support/Timing.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Counts the calls of the signal functions and lets the timing thread wait for the next one.
class CallCounter {
public:
    void count() {
        std::lock_guard<std::mutex> guard(mutex);
        ++calls;
        called.notify_all();
    }
    bool waitBeyond(long seen) {
        std::unique_lock<std::mutex> guard(mutex);
        return called.wait_for(guard, std::chrono::seconds(5), [&] { return calls > seen; });
    }
    long current() {
        std::lock_guard<std::mutex> guard(mutex);
        return calls;
    }

private:
    std::mutex mutex;
    std::condition_variable called;
    long calls = 0;
};

CallCounter& counter() {
    static CallCounter& calls = *new CallCounter;
    return calls;
}

void countCall(int) {
    counter().count();
}

// Sends the signal and waits for its function once per iteration.
void timeDeliveries(benchmark::State& state, int signalNumber) {
    std::vector<double> latencies;
    for (auto _ : state) {
        const long seen = counter().current();
        const Clock::time_point start = Clock::now();
        kill(getpid(), signalNumber);
        if (!counter().waitBeyond(seen)) {
            state.SkipWithError("the signal's function was not called");
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds);
    }
    state.counters["latency_us"] = bench_support::medianMicroseconds(latencies);
}

void krelSignalToFunction(benchmark::State& state) {
    krel_platform::signal(SIGUSR1, countCall);
    state.SetLabel("latency_us<=100");
    timeDeliveries(state, SIGUSR1);
    krel_platform::signal(SIGUSR1, SIG_DFL);
}

// The peer: what a program writes by hand to run a signal's work outside the handler.
int peerPipe[2] = {-1, -1};

void peerHandler(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    ssize_t written = write(peerPipe[1], &byte, 1);
    (void)written;
    errno = savedErrno;
}

void peerReader() {
    unsigned char byte = 0;
    while (read(peerPipe[0], &byte, 1) == 1) {
        countCall(byte);
    }
}

void peerSignalToFunction(benchmark::State& state) {
    if (pipe(peerPipe) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    std::thread reader(peerReader);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = peerHandler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR2, &action, nullptr);
    timeDeliveries(state, SIGUSR2);
    signal(SIGUSR2, SIG_DFL);
    close(peerPipe[1]);
    reader.join();
    close(peerPipe[0]);
}

} // namespace

BENCHMARK(krelSignalToFunction)->Name("kill to signal function/krel")->UseManualTime();
BENCHMARK(peerSignalToFunction)->Name("kill to signal function/peer")->UseManualTime();
