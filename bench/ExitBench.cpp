// Start-to-exit of a program that links the library but never uses the Java bridge, against
// the same program without the library: what the library adds to a program's start and end
// (its load and unload hooks). The goal bounds the difference, in milliseconds.
#include <benchmark/benchmark.h>
#include <chrono>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/Timing.h"

extern char** environ;

namespace {

std::string siblingPath(const char* name) {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/')) + "/" + name;
}

// Seconds from the spawn of the program until it is reaped; negative when it failed.
double runToExit(const std::string& program) {
    const auto started = std::chrono::steady_clock::now();
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// Each iteration runs the linked program; the plain one runs beside it, so that the difference
// of the medians compares runs made under the same load.
void ExitLinkedKrel(benchmark::State& state) {
    const std::string linked = siblingPath("krel_bench_exit_linked");
    const std::string plain = siblingPath("krel_bench_exit_plain");
    std::vector<double> linkedSeconds;
    std::vector<double> plainSeconds;
    for (auto _ : state) {
        const double seconds = runToExit(linked);
        const double plainRun = runToExit(plain);
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
    state.SetLabel("extra_ms<=1");
}

void ExitPlainPeer(benchmark::State& state) {
    const std::string plain = siblingPath("krel_bench_exit_plain");
    for (auto _ : state) {
        const double seconds = runToExit(plain);
        if (seconds < 0) {
            state.SkipWithError("the child did not run to a clean exit");
            break;
        }
        state.SetIterationTime(seconds);
    }
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
