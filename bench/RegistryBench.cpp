// Registry values through KrelRegistry: reading a text value and writing an integer value of an
// open key, against the same read and write done straight on an SQLite table of named values
// (a prepared statement, one transaction per call, the registry's journal and sync settings),
// which is what a program would write for itself to keep settings in SQLite. Opening a key by
// its path, reading an integer value and closing the key again, as a native called from Java
// does on every call, goes against finding the key by its path in a table of keys and reading
// the value in one transaction.
//
// The counters read_us, write_us and cycle_us are the mean wall-clock microseconds per call. A
// write's time is mostly the disk's (the journal and the database written per transaction), so
// its goal is a ratio to the peer doing the same durable work on the same disk.
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "platform/WinReg.h"
#include "support/AllocationCounter.h"
#include "support/Timing.h"
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
    bench_support::reportMeanMicroseconds(state, "read_us", start);
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
    bench_support::reportMeanMicroseconds(state, "write_us", start);
    scope.report(state);
    state.SetLabel("goal<=1.5");
}

// A fresh KrelRegistry opens the key, reads the value and closes the key on each call.
void krelOpenReadClose(benchmark::State& state) {
    {
        krel_std::KrelRegistry writer;
        bool existed = false;
        writer.createKey(existed, HKEY_CURRENT_USER, kKeyPath, KEY_ALL_ACCESS, 0);
        writer.setIntValue(L"Level", 7);
    }
    bench_support::AllocationScope scope;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        krel_std::KrelRegistry registry;
        registry.openKey(HKEY_CURRENT_USER, kKeyPath, KEY_READ);
        benchmark::DoNotOptimize(registry.getIntValue(L"Level", 0));
    }
    bench_support::reportMeanMicroseconds(state, "cycle_us", start);
    scope.report(state);
    state.SetLabel("cycle_us<=1.3");
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
                               -1, &upsert, nullptr) == SQLITE_OK &&
            sqlite3_exec(database,
                         "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER,"
                         " name TEXT, UNIQUE(parent, name))",
                         nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(database, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2", -1,
                               &child, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(database, "SELECT data FROM vals WHERE key = ?1 AND name = ?2", -1,
                               &value, nullptr) == SQLITE_OK;
    }
    ~PeerStore() {
        sqlite3_finalize(child);
        sqlite3_finalize(value);
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

    // Makes the keys of the path below the root key (id 0) and writes the integer value.
    bool writeAt(const std::vector<const char*>& path, const char* name, int number) {
        char statement[160];
        for (size_t i = 0; i < path.size(); ++i) {
            snprintf(statement, sizeof statement,
                     "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(%zu, %zu, '%s')", i + 1,
                     i, path[i]);
            if (sqlite3_exec(database, statement, nullptr, nullptr, nullptr) != SQLITE_OK) {
                return false;
            }
        }
        snprintf(statement, sizeof statement,
                 "INSERT OR REPLACE INTO vals(key, name, type, data) VALUES(%zu, '%s', 4, %d)",
                 path.size(), name, number);
        return sqlite3_exec(database, statement, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // Finds the key by its path and reads the integer value, in one transaction.
    int readAt(const std::vector<const char*>& path, const char* name, int defaultValue) {
        sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_int64 key = 0;
        bool found = true;
        for (const char* element : path) {
            sqlite3_bind_int64(child, 1, key);
            sqlite3_bind_text(child, 2, element, -1, SQLITE_STATIC);
            found = sqlite3_step(child) == SQLITE_ROW;
            key = found ? sqlite3_column_int64(child, 0) : 0;
            sqlite3_reset(child);
            if (!found) {
                break;
            }
        }
        int number = defaultValue;
        if (found) {
            sqlite3_bind_int64(value, 1, key);
            sqlite3_bind_text(value, 2, name, -1, SQLITE_STATIC);
            if (sqlite3_step(value) == SQLITE_ROW) {
                number = sqlite3_column_int(value, 0);
            }
            sqlite3_reset(value);
        }
        sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr);
        return number;
    }

    bool ready = false;

private:
    sqlite3* database = nullptr;
    sqlite3_stmt* child = nullptr;
    sqlite3_stmt* value = nullptr;
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
    bench_support::reportMeanMicroseconds(state, "read_us", start);
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
    bench_support::reportMeanMicroseconds(state, "write_us", start);
}

void peerOpenReadClose(benchmark::State& state) {
    PeerStore store;
    const std::vector<const char*> path = {"Software", "KrelBench", "Registry"};
    if (!store.ready || !store.writeAt(path, "Level", 7)) {
        state.SkipWithError("no peer database");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.readAt(path, "Level", 0));
    }
    bench_support::reportMeanMicroseconds(state, "cycle_us", start);
}

} // namespace

BENCHMARK(krelRead)->Name("registry read/krel");
BENCHMARK(peerRead)->Name("registry read/peer");
BENCHMARK(krelWrite)->Name("registry write/krel");
BENCHMARK(peerWrite)->Name("registry write/peer");
BENCHMARK(krelOpenReadClose)->Name("registry open read close/krel");
BENCHMARK(peerOpenReadClose)->Name("registry open read close/peer");
