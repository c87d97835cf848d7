// Registry preferences: get on a cached node, put, and a value committed by another process
// reaching the node's listener. The peers do the same with a program's own SQLite table of
// settings: a prepared read, a one-transaction write, and a writer that commits and then wakes
// the reader through a pipe. The get is also set against Qt's settings in INI format reading a
// value it holds, the way a program that keeps its settings in a file reads them.
//
// The writer process is forked before main, while the process has no thread but its own; it
// writes on request and answers the steady-clock time of its commit, which the listener's call
// is measured from. get_us and put_us are mean microseconds per call; median_ms is the median
// delay from commit to call. A put's time is mostly the disk's, so its goal is a ratio to the
// peer's write: the same journal and sync settings, one transaction per write, on the same disk.
// Against Qt's settings both sides read the same text value at the same depth: the node's key
// and the settings' group path Software/KrelBench/Preferences.
//
// keys() and exportNode of a node of 10 000 keys are set against the same of a node of 1 000:
// a node's listing must cost the same per key whatever the node's size.
#include <QSettings>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinReg.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/RegistryPreferences.h"
#include "support/AllocationCounter.h"
#include "support/Timing.h"

namespace {

typedef std::chrono::steady_clock Clock;

const std::wstring kNodePath = L"/Software/KrelBench/Preferences";
const std::wstring kKeyPath = L"Software\\KrelBench\\Preferences";
const std::wstring kText = L"C:\\Program Files\\Example\\config";

int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The peer's settings table in a database of its own.
class PeerStore {
public:
    explicit PeerStore(const std::string& file) {
        if (sqlite3_open(file.c_str(), &database) != SQLITE_OK) {
            return;
        }
        sqlite3_busy_timeout(database, 5000);
        ready = sqlite3_exec(database,
                             "PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=OFF; CREATE TABLE "
                             "IF NOT EXISTS vals(name TEXT PRIMARY KEY, data TEXT)",
                             nullptr, nullptr, nullptr) == SQLITE_OK &&
                sqlite3_prepare_v2(database, "SELECT data FROM vals WHERE name = ?1", -1, &select,
                                   nullptr) == SQLITE_OK &&
                sqlite3_prepare_v2(database, "INSERT OR REPLACE INTO vals VALUES(?1, ?2)", -1,
                                   &upsert, nullptr) == SQLITE_OK;
    }
    ~PeerStore() {
        sqlite3_finalize(select);
        sqlite3_finalize(upsert);
        sqlite3_close(database);
    }

    bool write(const char* name, const std::string& text) {
        sqlite3_exec(database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_text(upsert, 1, name, -1, SQLITE_STATIC);
        sqlite3_bind_text(upsert, 2, text.c_str(), -1, SQLITE_STATIC);
        const bool done = sqlite3_step(upsert) == SQLITE_DONE;
        sqlite3_reset(upsert);
        return sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && done;
    }

    std::string read(const char* name) {
        std::string text;
        sqlite3_bind_text(select, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(select) == SQLITE_ROW) {
            text = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
        }
        sqlite3_reset(select);
        return text;
    }

    bool ready = false;

private:
    sqlite3* database = nullptr;
    sqlite3_stmt* select = nullptr;
    sqlite3_stmt* upsert = nullptr;
};

// The bench directory and the writer process. A request is one byte: 'r' writes the registry
// value, 'p' the peer's row followed by a byte on the peer's wake-up pipe. The answer is the
// commit time in steady-clock nanoseconds.
class Writer {
public:
    Writer() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        directory = pattern;
        setenv("KREL_REGISTRY_DIR", directory.c_str(), 1);
        int requestPipe[2];
        int answerPipe[2];
        int wakePipe[2];
        if (pipe(requestPipe) != 0 || pipe(answerPipe) != 0 || pipe(wakePipe) != 0) {
            return;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            // Only the writer's own ends stay open here, so closing the request pipe in the
            // bench process ends the writer.
            close(requestPipe[1]);
            close(answerPipe[0]);
            close(wakePipe[0]);
            serve(requestPipe[0], answerPipe[1], wakePipe[1]);
        }
        close(requestPipe[0]);
        close(answerPipe[1]);
        close(wakePipe[1]);
        child = pid;
        requests = requestPipe[1];
        answers = answerPipe[0];
        wakeUps = wakePipe[0];
    }
    ~Writer() {
        if (child > 0) {
            close(requests);
            waitpid(child, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    // The commit time of the write asked for; -1 when the writer does not answer.
    int64_t commit(char what) {
        int64_t committed = -1;
        if (child <= 0 || ::write(requests, &what, 1) != 1 ||
            ::read(answers, &committed, sizeof committed) != sizeof committed) {
            return -1;
        }
        return committed;
    }

    std::string peerFile() const { return directory + "/peer.db"; }

    std::string directory;
    int wakeUps = -1;

private:
    [[noreturn]] void serve(int requestEnd, int answerEnd, int wakeEnd) {
        PeerStore peer(peerFile());
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        int counter = 0;
        char what = 0;
        while (::read(requestEnd, &what, 1) == 1) {
            const std::u16string text =
                krel_platform::wideToUtf16(L"value " + std::to_wstring(++counter));
            int64_t committed = -1;
            if (what == 'r') {
                RegSetValueExW(key, L"Watched", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * 2));
                committed = nowNanoseconds();
            } else {
                peer.write("Watched", std::to_string(counter));
                committed = nowNanoseconds();
                const char wake = 'w';
                if (::write(wakeEnd, &wake, 1) != 1) {
                    break;
                }
            }
            if (::write(answerEnd, &committed, sizeof committed) != sizeof committed) {
                break;
            }
        }
        _exit(0);
    }

    pid_t child = -1;
    int requests = -1;
    int answers = -1;
};

Writer writer;

// Tells the benchmark's thread when the dispatch thread called it.
class CallClock : public krel_std::PreferenceChangeListener {
public:
    void preferenceChange(const boost::shared_ptr<krel_std::PreferenceChangeEvent>&) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            calledAt = nowNanoseconds();
        }
        called.notify_all();
    }

    // The time of the next call; -1 when none comes within a generous bound.
    int64_t next() {
        std::unique_lock<std::mutex> guard(mutex);
        const bool came =
            called.wait_for(guard, std::chrono::seconds(10), [&] { return calledAt >= 0; });
        const int64_t at = came ? calledAt : -1;
        calledAt = -1;
        return at;
    }

private:
    std::mutex mutex;
    std::condition_variable called;
    int64_t calledAt = -1;
};

void krelChange(benchmark::State& state) {
    const auto node = krel_std::RegistryPreferences::getUserRoot()->node(kNodePath);
    const auto listener = boost::make_shared<CallClock>();
    node->addPreferenceChangeListener(listener);
    std::vector<double> delays;
    for (auto _ : state) {
        const int64_t committed = writer.commit('r');
        const int64_t called = listener->next();
        if (committed < 0 || called < 0) {
            state.SkipWithError("no change reached the listener");
            break;
        }
        delays.push_back(static_cast<double>(called - committed) / 1e9);
    }
    node->removePreferenceChangeListener(listener);
    state.counters["median_ms"] = bench_support::medianMilliseconds(delays);
    state.SetLabel("median_ms<=50");
}

void peerChange(benchmark::State& state) {
    PeerStore store(writer.peerFile());
    std::vector<double> delays;
    for (auto _ : state) {
        const int64_t committed = writer.commit('p');
        char wake = 0;
        if (committed < 0 || ::read(writer.wakeUps, &wake, 1) != 1) {
            state.SkipWithError("no change reached the reader");
            break;
        }
        benchmark::DoNotOptimize(store.read("Watched"));
        delays.push_back(static_cast<double>(nowNanoseconds() - committed) / 1e9);
    }
    state.counters["median_ms"] = bench_support::medianMilliseconds(delays);
}

void krelGet(benchmark::State& state) {
    const auto node = krel_std::RegistryPreferences::getUserRoot()->node(kNodePath);
    node->put(L"InstallPath", kText);
    bench_support::AllocationScope scope;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(node->get(L"InstallPath", L""));
    }
    bench_support::reportMeanMicroseconds(state, "get_us", start);
    scope.report(state);
    state.SetLabel("get_us<=5");
}

void peerGet(benchmark::State& state) {
    PeerStore store(writer.peerFile());
    if (!store.ready || !store.write("InstallPath", "C:\\Program Files\\Example\\config")) {
        state.SkipWithError("no peer database");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.read("InstallPath"));
    }
    bench_support::reportMeanMicroseconds(state, "get_us", start);
}

void krelGetAgainstSettings(benchmark::State& state) {
    const auto node = krel_std::RegistryPreferences::getUserRoot()->node(kNodePath);
    node->put(L"InstallPath", kText);
    const std::wstring key = L"InstallPath";
    const std::wstring def;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(node->get(key, def));
    }
    scope.report(state);
    state.SetLabel("goal<=1");
}

void settingsGet(benchmark::State& state) {
    QSettings settings(QString::fromStdString(writer.directory + "/peer-get.ini"),
                       QSettings::IniFormat);
    const QString key = "Software/KrelBench/Preferences/InstallPath";
    settings.setValue(key, QString::fromStdWString(kText));
    settings.sync();
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.value(key).toString());
    }
}

void krelPut(benchmark::State& state) {
    const auto node = krel_std::RegistryPreferences::getUserRoot()->node(kNodePath);
    int value = 0;
    bench_support::AllocationScope scope;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        node->put(L"Counter", std::to_wstring(++value));
    }
    bench_support::reportMeanMicroseconds(state, "put_us", start);
    scope.report(state);
    state.SetLabel("goal<=2");
}

void peerPut(benchmark::State& state) {
    PeerStore store(writer.peerFile());
    if (!store.ready) {
        state.SkipWithError("no peer database");
        return;
    }
    int value = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.write("Counter", std::to_string(++value)));
    }
    bench_support::reportMeanMicroseconds(state, "put_us", start);
}

// A node of the given number of keys, filled at its first use in the run.
boost::shared_ptr<krel_std::Preferences> listedNode(int size) {
    static std::set<int> filled;
    const auto node = krel_std::RegistryPreferences::getUserRoot()->node(
        L"/Software/KrelBench/Listed" + std::to_wstring(size));
    if (filled.insert(size).second) {
        for (int i = 0; i < size; ++i) {
            node->put(L"key" + std::to_wstring(i), L"value " + std::to_wstring(i));
        }
    }
    return node;
}

void listKeys(benchmark::State& state, int size) {
    const auto node = listedNode(size);
    for (auto _ : state) {
        if (node->keys().size() != static_cast<size_t>(size)) {
            state.SkipWithError("keys() did not list every key");
            break;
        }
    }
}

void exportNode(benchmark::State& state, int size) {
    const auto node = listedNode(size);
    const std::wstring file =
        krel_platform::utf8ToWide(writer.directory + "/export" + std::to_string(size) + ".xml");
    for (auto _ : state) {
        node->exportNode(file);
    }
}

void krelKeysOfTenThousand(benchmark::State& state) {
    listKeys(state, 10000);
    state.SetLabel("goal<=15");
}

void keysOfThousand(benchmark::State& state) {
    listKeys(state, 1000);
}

void krelExportOfTenThousand(benchmark::State& state) {
    exportNode(state, 10000);
    state.SetLabel("goal<=15");
}

void exportOfThousand(benchmark::State& state) {
    exportNode(state, 1000);
}

} // namespace

BENCHMARK(krelGet)->Name("registry prefs get/krel");
BENCHMARK(peerGet)->Name("registry prefs get/peer");
BENCHMARK(krelGetAgainstSettings)->Name("registry prefs get vs QSettings/krel");
BENCHMARK(settingsGet)->Name("registry prefs get vs QSettings/peer");
BENCHMARK(krelPut)->Name("registry prefs put/krel");
BENCHMARK(peerPut)->Name("registry prefs put/peer");
BENCHMARK(krelChange)->Name("registry prefs change/krel")->Iterations(50);
BENCHMARK(peerChange)->Name("registry prefs change/peer")->Iterations(50);
BENCHMARK(krelKeysOfTenThousand)
    ->Name("registry prefs keys 10000 against 1000/krel")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(keysOfThousand)
    ->Name("registry prefs keys 10000 against 1000/peer")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(krelExportOfTenThousand)
    ->Name("registry prefs exportNode 10000 against 1000/krel")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(exportOfThousand)
    ->Name("registry prefs exportNode 10000 against 1000/peer")
    ->Unit(benchmark::kMillisecond);
