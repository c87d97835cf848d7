// Start-to-running: from the call that starts a program until the program's main has set a
// named event this benchmark holds. KrelStd's Process beside a bare posix_spawn and POCO's
// Process::launch of the same program; the child is reaped outside the timed part.
#include <Poco/Process.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "file/File.h"
#include "platform/UserRuntimeDirectory.h"
#include "platform/Utf16.h"
#include "platform/WinSync.h"
#include "process/Process.h"
#include "support/Timing.h"
#include "thread/Concurrency.h"

extern char** environ;

namespace {

// Named events live in the user's runtime directory. The run gets one of its own, a fresh
// private directory below $TMPDIR (or /tmp where that path would be too long for the library's
// sockets), named through XDG_RUNTIME_DIR before main runs, so that the children find it and
// nothing is left behind.
class RuntimeDirectory {
public:
    RuntimeDirectory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/krel-bench-XXXXXX";
        if (pattern.size() > LONGEST) {
            pattern = "/tmp/krel-bench-XXXXXX";
        }
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
            setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
        }
    }
    ~RuntimeDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

private:
    // The library takes a runtime directory with its subdirectory "/krelstd" up to this long.
    static const size_t LONGEST =
        krel_platform::USER_RUNTIME_DIRECTORY_MAX_LENGTH - sizeof("/krelstd") + 1;

    std::string path;
};

RuntimeDirectory runtimeDirectory;

std::string childPath() {
    char buffer[4096] = {};
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/')) + "/krel_bench_ready_child";
}

// The event each started child sets; held here for the whole run.
class ReadyEvent {
public:
    ReadyEvent()
        : name("krel-bench-ready-" + std::to_string(getpid())),
          handle(CreateEventW(nullptr, TRUE, FALSE, krel_platform::utf8ToWide(name).c_str())) {}
    ~ReadyEvent() { CloseHandle(handle); }

    bool await() const { return WaitForSingleObject(handle, 10000) == WAIT_OBJECT_0; }
    void reset() const { ResetEvent(handle); }

    const std::string name;
    const HANDLE handle;
};

void StartToRunningKrel(benchmark::State& state) {
    ReadyEvent ready;
    const krel_std::File program(krel_platform::utf8ToWide(childPath()));
    const std::wstring arguments = krel_platform::utf8ToWide(ready.name);
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
        ready.reset();
        timer.begin();
        krel_std::Process process(program, arguments, krel_std::File());
        if (!ready.await()) {
            state.SkipWithError("the child did not start");
            break;
        }
        timer.end();
        krel_std::Concurrency::waitForSingleObject(*process.getShutdownEvent(), 10000);
    }
    timer.report();
    state.SetLabel("ms<=5");
}

void StartToRunningSpawn(benchmark::State& state) {
    ReadyEvent ready;
    const std::string program = childPath();
    std::string name = ready.name;
    char* argv[] = {const_cast<char*>("krel_bench_ready_child"), &name[0], nullptr};
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
        ready.reset();
        timer.begin();
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0 ||
            !ready.await()) {
            state.SkipWithError("the child did not start");
            break;
        }
        timer.end();
        waitpid(pid, nullptr, 0);
    }
    timer.report();
}

void StartToRunningPoco(benchmark::State& state) {
    ReadyEvent ready;
    const std::string program = childPath();
    const Poco::Process::Args arguments{ready.name};
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
        ready.reset();
        timer.begin();
        Poco::ProcessHandle handle = Poco::Process::launch(program, arguments);
        if (!ready.await()) {
            state.SkipWithError("the child did not start");
            break;
        }
        timer.end();
        handle.wait();
    }
    timer.report();
}

} // namespace

BENCHMARK(StartToRunningKrel)->Name("Process start-to-running/krel")->UseManualTime();
BENCHMARK(StartToRunningSpawn)->Name("Process start-to-running/peer")->UseManualTime();
BENCHMARK(StartToRunningKrel)->Name("Process start-to-running vs POCO/krel")->UseManualTime();
BENCHMARK(StartToRunningPoco)->Name("Process start-to-running vs POCO/peer")->UseManualTime();
