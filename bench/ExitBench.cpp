// The exit of a program that links the library but never uses the Java bridge, against the same
// program without the library: from the moment its main returns until it is reaped (what the
// library's unload hooks add). The goal bounds the difference, in milliseconds. A second pair
// times the whole life, start to reaped, which also holds the load of the library and of its
// dependencies; it carries no goal.
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/Timing.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string siblingPath(const char* name) {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/')) + "/" + name;
}

// One run of a program: seconds from its spawn, and from the return of its main, until it is
// reaped; negative when it did not run to a clean exit.
struct Run {
    double whole = -1;
    double exit = -1;
};

Run runToExit(const std::string& program) {
    int returning[2];
    if (pipe2(returning, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, returning[1], 3);
    char descriptor[] = "3";
    char* const argv[] = {const_cast<char*>(program.c_str()), descriptor, nullptr};
    const Clock::time_point started = Clock::now();
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(returning[1]);
    char byte = 0;
    const bool returned = spawned && read(returning[0], &byte, 1) == 1;
    const Clock::time_point mainReturned = Clock::now();
    close(returning[0]);
    int status = 0;
    if (!spawned || waitpid(pid, &status, 0) != pid || !returned || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return {};
    }
    const Clock::time_point reaped = Clock::now();
    return {std::chrono::duration<double>(reaped - started).count(),
            std::chrono::duration<double>(reaped - mainReturned).count()};
}

double span(const Run& run, bool wholeLife) {
    return wholeLife ? run.whole : run.exit;
}

// Each iteration runs the linked program; the plain one runs beside it, so that the difference
// of the medians compares runs made under the same load.
void linkedKrel(benchmark::State& state, bool wholeLife) {
    const std::string linked = siblingPath("krel_bench_exit_linked");
    const std::string plain = siblingPath("krel_bench_exit_plain");
    std::vector<double> linkedSeconds;
    std::vector<double> plainSeconds;
    for (auto _ : state) {
        const double seconds = span(runToExit(linked), wholeLife);
        const double plainRun = span(runToExit(plain), wholeLife);
        if (seconds < 0 || plainRun < 0) {
            state.SkipWithError("a child did not run to a clean exit");
            break;
        }
        state.SetIterationTime(seconds);
        linkedSeconds.push_back(seconds);
        plainSeconds.push_back(plainRun);
    }
    state.counters["extra_ms"] = bench_support::medianMilliseconds(linkedSeconds) -
                                 bench_support::medianMilliseconds(plainSeconds);
}

void plainPeer(benchmark::State& state, bool wholeLife) {
    const std::string plain = siblingPath("krel_bench_exit_plain");
    for (auto _ : state) {
        const double seconds = span(runToExit(plain), wholeLife);
        if (seconds < 0) {
            state.SkipWithError("the child did not run to a clean exit");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

void ExitLinkedKrel(benchmark::State& state) {
    linkedKrel(state, false);
    state.SetLabel("extra_ms<=1");
}

void ExitPlainPeer(benchmark::State& state) {
    plainPeer(state, false);
}

void LifeLinkedKrel(benchmark::State& state) {
    linkedKrel(state, true);
}

void LifePlainPeer(benchmark::State& state) {
    plainPeer(state, true);
}

} // namespace

BENCHMARK(ExitLinkedKrel)
    ->Name("program exit, bridge never used/krel")
    ->UseManualTime()
    ->Iterations(100);
BENCHMARK(ExitPlainPeer)
    ->Name("program exit, bridge never used/peer")
    ->UseManualTime()
    ->Iterations(100);
BENCHMARK(LifeLinkedKrel)
    ->Name("program start to exit, bridge never used/krel")
    ->UseManualTime()
    ->Iterations(100);
BENCHMARK(LifePlainPeer)
    ->Name("program start to exit, bridge never used/peer")
    ->UseManualTime()
    ->Iterations(100);
