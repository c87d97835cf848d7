// How long a change of a watched file takes to reach its listener: a one-byte append, timed
// from the write to the listener's call, against a plain inotify wait for the same append.
// The time of each iteration is that latency (manual time); the counter latency_ms is the
// median latency of the run in milliseconds.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

#include "file/File.h"
#include "file/FileWatcher.h"
#include "file/IFileListener.h"
#include "platform/Utf16.h"
#include "support/Timing.h"

namespace {

typedef std::chrono::steady_clock Clock;

// A fresh directory holding one file open for appending; both go at the end.
class WatchedFile {
public:
    WatchedFile() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-bench-XXXXXX";
        directory = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        path = directory + "/watched.ini";
        descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    ~WatchedFile() {
        close(descriptor);
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    bool ready() const { return !directory.empty() && descriptor >= 0; }
    // Grows the file by one byte, so its size tells every change apart.
    bool append() { return write(descriptor, "x", 1) == 1; }

    std::string directory;
    std::string path;
    int descriptor;
};

// Counts the content changes it is told of.
class CountingListener : public krel_std::IFileListener {
public:
    void onFileContentChange(const krel_std::File&) override {
        std::lock_guard<std::mutex> guard(mutex);
        ++changes;
        changed.notify_all();
    }
    bool waitBeyond(long seen) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return changes > seen; });
    }
    long count() {
        std::lock_guard<std::mutex> guard(mutex);
        return changes;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    long changes = 0;
};

void krelChangeToListener(benchmark::State& state) {
    WatchedFile file;
    if (!file.ready()) {
        state.SkipWithError("no temporary file");
        return;
    }
    boost::shared_ptr<CountingListener> listener(new CountingListener);
    krel_std::FileWatcher::addListener(listener,
                                       krel_std::File(krel_platform::utf8ToWide(file.path)));
    std::vector<double> latencies;
    for (auto _ : state) {
        const long seen = listener->count();
        const Clock::time_point start = Clock::now();
        if (!file.append() || !listener->waitBeyond(seen)) {
            state.SkipWithError("the change was not reported");
            break;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(elapsed);
        latencies.push_back(elapsed);
    }
    krel_std::FileWatcher::removeListener(listener);
    state.SetLabel("latency_ms<=50");
    state.counters["latency_ms"] = bench_support::medianMilliseconds(latencies);
}

void peerChangeToListener(benchmark::State& state) {
    WatchedFile file;
    const int notifier = inotify_init1(IN_CLOEXEC);
    if (!file.ready() || notifier < 0 ||
        inotify_add_watch(notifier, file.directory.c_str(), IN_MODIFY) < 0) {
        state.SkipWithError("no inotify watch");
        return;
    }
    alignas(inotify_event) char events[4096];
    std::vector<double> latencies;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        pollfd ready{notifier, POLLIN, 0};
        if (!file.append() || poll(&ready, 1, 5000) != 1 ||
            read(notifier, events, sizeof events) <= 0) {
            state.SkipWithError("the change was not reported");
            break;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(elapsed);
        latencies.push_back(elapsed);
    }
    close(notifier);
    state.counters["latency_ms"] = bench_support::medianMilliseconds(latencies);
}

} // namespace

BENCHMARK(krelChangeToListener)->Name("file change to listener/krel")->UseManualTime();
BENCHMARK(peerChangeToListener)->Name("file change to listener/peer")->UseManualTime();
