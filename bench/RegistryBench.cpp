// Registry values through KrelRegistry: reading a text value and writing an integer value of an
// open key, against the same read and write done straight on an SQLite table of named values
// (a prepared statement, one transaction per call, the registry's journal and sync settings),
// which is what a program would write for itself to keep settings in SQLite.
//
// The counters read_us and write_us are the mean wall-clock microseconds per call.
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/WinReg.h"
#include "support/AllocationCounter.h"
#include "system/KrelRegistry.h"

namespace {

typedef std::chrono::steady_clock Clock;

// A fresh directory for the program's registry and the peer's database, named to the library
// through KREL_REGISTRY_DIR before main runs, so no run touches a real registry.
class BenchDirectory {
public:
    BenchDirectory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
            setenv("KREL_REGISTRY_DIR", path.c_str(), 1);
        }
    }
    ~BenchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    std::string path;
};

BenchDirectory directory;

const std::wstring kKeyPath = L"Software\\KrelBench\\Registry";
const std::wstring kText = L"C:\\Program Files\\Example\\config";

void reportMicroseconds(benchmark::State& state, const char* counter, Clock::time_point start) {
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.counters[counter] =
        state.iterations() > 0 ? elapsed / static_cast<double>(state.iterations()) : 0.0;
}

void krelRead(benchmark::State& state) {
    krel_std::KrelRegistry registry;
    bool existed = false;
    registry.createKey(existed, HKEY_CURRENT_USER, kKeyPath, KEY_ALL_ACCESS, 0);
    registry.setStrValue(L"InstallPath", kText);
    bench_support::AllocationScope scope;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(registry.getStrValue(L"InstallPath"));
    }
    reportMicroseconds(state, "read_us", start);
    scope.report(state);
    state.SetLabel("read_us<=2");
}

void krelWrite(benchmark::State& state) {
    krel_std::KrelRegistry registry;
    bool existed = false;
    registry.createKey(existed, HKEY_CURRENT_USER, kKeyPath, KEY_ALL_ACCESS, 0);
    int value = 0;
    bench_support::AllocationScope scope;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        registry.setIntValue(L"Counter", ++value);
    }
    reportMicroseconds(state, "write_us", start);
    scope.report(state);
    state.SetLabel("write_us<=50");
}

// The peer: a table of values keyed by their key's id and name, in a database of its own.
class PeerStore {
public:
    PeerStore() {
        const std::string file = directory.path + "/peer.db";
        if (sqlite3_open(file.c_str(), &database) != SQLITE_OK) {
            return;
        }
        sqlite3_busy_timeout(database, 5000);
        ready =
            sqlite3_exec(database, "PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=OFF", nullptr,
                         nullptr, nullptr) == SQLITE_OK &&
            sqlite3_exec(database,
                         "CREATE TABLE IF NOT EXISTS vals(key INTEGER, name TEXT, type "
                         "INTEGER, data BLOB, PRIMARY KEY(key, name))",
                         nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(database, "SELECT type, data FROM vals WHERE key = 1 AND name = ?1",
                               -1, &select, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(database,
                               "INSERT OR REPLACE INTO vals(key, name, type, data) "
                               "VALUES(1, ?1, ?2, ?3)",
                               -1, &upsert, nullptr) == SQLITE_OK;
    }
    ~PeerStore() {
        sqlite3_finalize(select);
        sqlite3_finalize(upsert);
        sqlite3_close(database);
    }

    bool write(const char* name, int type, const void* data, int size) {
        sqlite3_exec(database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_text(upsert, 1, name, -1, SQLITE_STATIC);
        sqlite3_bind_int(upsert, 2, type);
        sqlite3_bind_blob(upsert, 3, data, size, SQLITE_STATIC);
        const bool done = sqlite3_step(upsert) == SQLITE_DONE;
        sqlite3_reset(upsert);
        return sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && done;
    }

    std::u16string read(const char* name) {
        std::u16string text;
        sqlite3_bind_text(select, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(select) == SQLITE_ROW) {
            const auto* bytes = static_cast<const char16_t*>(sqlite3_column_blob(select, 1));
            text.assign(bytes, static_cast<size_t>(sqlite3_column_bytes(select, 1)) / 2);
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

void peerRead(benchmark::State& state) {
    PeerStore store;
    const std::u16string text = u"C:\\Program Files\\Example\\config";
    if (!store.ready ||
        !store.write("InstallPath", 1, text.c_str(), static_cast<int>((text.size() + 1) * 2))) {
        state.SkipWithError("no peer database");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.read("InstallPath"));
    }
    reportMicroseconds(state, "read_us", start);
}

void peerWrite(benchmark::State& state) {
    PeerStore store;
    if (!store.ready) {
        state.SkipWithError("no peer database");
        return;
    }
    int value = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        ++value;
        benchmark::DoNotOptimize(store.write("Counter", 4, &value, sizeof value));
    }
    reportMicroseconds(state, "write_us", start);
}

} // namespace

BENCHMARK(krelRead)->Name("registry read/krel");
BENCHMARK(peerRead)->Name("registry read/peer");
BENCHMARK(krelWrite)->Name("registry write/krel");
BENCHMARK(peerWrite)->Name("registry write/peer");
