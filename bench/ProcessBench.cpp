// Start-to-running: from the call that starts a program until the program's main has written to
// a FIFO this benchmark holds open. KrelStd's Process beside a bare posix_spawn and POCO's
// Process::launch of the same program, which does not link the library; the child is reaped
// outside the timed part.
#include <Poco/Process.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file/File.h"
#include "platform/Utf16.h"
#include "process/Process.h"
#include "support/Timing.h"
#include "thread/Concurrency.h"

extern char** environ;

namespace {

std::string childPath() {
    char buffer[4096] = {};
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/')) + "/krel_bench_ready_child";
}

// The FIFO each started child writes one byte to, below $TMPDIR; held open for reading (and for
// writing, so that a child's close never ends the stream) for the whole run, removed at the end.
class ReadyFifo {
public:
    ReadyFifo() : name(fifoPath()), made(mkfifo(name.c_str(), 0600) == 0) {
        descriptor = made ? open(name.c_str(), O_RDWR | O_CLOEXEC) : -1;
    }
    ~ReadyFifo() {
        if (descriptor >= 0) {
            close(descriptor);
        }
        if (made) {
            std::remove(name.c_str());
        }
    }
    ReadyFifo(const ReadyFifo&) = delete;
    ReadyFifo& operator=(const ReadyFifo&) = delete;

    // Waits up to 10 s for a child's byte.
    bool await() const {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(descriptor, &readable);
        timeval limit{10, 0};
        char ready = 0;
        return descriptor >= 0 &&
               select(descriptor + 1, &readable, nullptr, nullptr, &limit) == 1 &&
               read(descriptor, &ready, 1) == 1;
    }

    const std::string name;

private:
    static std::string fifoPath() {
        const char* base = getenv("TMPDIR");
        return std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
               "/krel-bench-ready-" + std::to_string(getpid());
    }

    const bool made;
    int descriptor = -1;
};

void StartToRunningKrel(benchmark::State& state) {
    ReadyFifo ready;
    const krel_std::File program(krel_platform::utf8ToWide(childPath()));
    const std::wstring arguments = krel_platform::utf8ToWide(ready.name);
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
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
    ReadyFifo ready;
    const std::string program = childPath();
    std::string name = ready.name;
    char* argv[] = {const_cast<char*>("krel_bench_ready_child"), &name[0], nullptr};
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
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
    ReadyFifo ready;
    const std::string program = childPath();
    const Poco::Process::Args arguments{ready.name};
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
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
