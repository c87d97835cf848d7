// The registry stand-in: a value read and a value write against the same statements run on
// SQLite directly, a value write while a change watch is armed against the same write with none,
// four processes writing one value at once against four doing the same on SQLite directly, and how
// long a value written by another process takes to signal an armed key's event, against a plain
// inotify wait for another process's append to a file.
//
// Listings: every value of a key of 1 000 to 1 000 000 values through RegEnumValueW, and every
// subkey of a key of 1 000 or 10 000 subkeys through RegEnumKeyExW, against the same listing as
// one SQLite statement over the hive's database. value_us and subkey_us are the mean
// microseconds of CPU time per entry listed (a loaded machine stretches the wall clock). A call
// must cost the same whatever the size, so the pair "10000 against 1000" sets the listing of
// 10 000 values against that of 1 000.
//
// The other processes are this program started again with KREL_BENCH_REGISTRY_WRITER set. Set
// to "1", it writes once per request read from stdin and answers the steady-clock time taken
// just before the write. The latency benchmarks time each iteration from that moment to the
// waiter's wake-up (manual time); their counter latency_ms is the median in milliseconds. Set
// to "batch", it writes a batch of values per request and answers the longest single write.
// An iteration of the four-writer benchmarks is one batch of each of four such processes,
// started and warmed up beforehand, timed by the wall clock; write_us is the wall time per write of
// all four, slowest_ms the longest single write of any.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinHandles.h"
#include "platform/WinReg.h"
#include "platform/WinSync.h"
#include "support/AllocationCounter.h"
#include "support/Timing.h"

extern char** environ;

namespace {

typedef std::chrono::steady_clock Clock;

const char* const writerMarker = "KREL_BENCH_REGISTRY_WRITER";
const wchar_t* const watchedPath = L"Software\\Bench\\Watched";

// A registry of its own in a fresh directory, removed at the end.
class BenchRegistry {
public:
    BenchRegistry() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-bench-XXXXXX";
        directory = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        setenv("KREL_REGISTRY_DIR", directory.c_str(), 1);
        krel_platform::reopenRegistryStore();
    }
    ~BenchRegistry() {
        krel_platform::reopenRegistryStore();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    std::string directory;
};

std::vector<BYTE> utf16Bytes(const std::u16string& text) {
    std::vector<BYTE> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

const std::vector<BYTE>& sampleText() {
    static const std::vector<BYTE> text = utf16Bytes(u"C:\\Program Files\\Krel\\data.cfg");
    return text;
}

HKEY createKey(const wchar_t* path) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

// SQLite used directly the way the stand-in uses it: one table of values, the same pragmas,
// prepared statements kept, a write transaction per write.
class DirectStore {
public:
    explicit DirectStore(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &database,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        sqlite3_busy_timeout(database, 5000);
        sqlite3_exec(database,
                     "PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=OFF;"
                     "CREATE TABLE vals(key INTEGER, folded BLOB, type INTEGER, data BLOB,"
                     " UNIQUE(key, folded))",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(database, "SELECT type, data FROM vals WHERE key = 1 AND folded = ?1",
                           -1, &select, nullptr);
        sqlite3_prepare_v2(database,
                           "INSERT INTO vals VALUES(1, ?1, 1, ?2) ON CONFLICT(key, folded)"
                           " DO UPDATE SET data = excluded.data",
                           -1, &upsert, nullptr);
        sqlite3_prepare_v2(database, "BEGIN IMMEDIATE", -1, &begin, nullptr);
        sqlite3_prepare_v2(database, "COMMIT", -1, &commit, nullptr);
    }
    ~DirectStore() {
        for (sqlite3_stmt* statement : {select, upsert, begin, commit}) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(database);
    }

    bool write(const char* name, const std::vector<BYTE>& data) {
        bool done = step(begin) == SQLITE_DONE;
        sqlite3_bind_blob(upsert, 1, name, static_cast<int>(std::strlen(name)), SQLITE_STATIC);
        sqlite3_bind_blob(upsert, 2, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
        done = done && step(upsert) == SQLITE_DONE;
        return step(commit) == SQLITE_DONE && done;
    }

    size_t read(const char* name, BYTE* buffer, size_t capacity) {
        sqlite3_bind_blob(select, 1, name, static_cast<int>(std::strlen(name)), SQLITE_STATIC);
        size_t size = 0;
        if (sqlite3_step(select) == SQLITE_ROW) {
            const void* data = sqlite3_column_blob(select, 1);
            size = static_cast<size_t>(sqlite3_column_bytes(select, 1));
            if (size <= capacity) {
                std::memcpy(buffer, data, size);
            }
        }
        sqlite3_reset(select);
        return size;
    }

private:
    static int step(sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        return result;
    }

    sqlite3* database = nullptr;
    sqlite3_stmt* select = nullptr;
    sqlite3_stmt* upsert = nullptr;
    sqlite3_stmt* begin = nullptr;
    sqlite3_stmt* commit = nullptr;
};

void krelValueRead(benchmark::State& state) {
    BenchRegistry registry;
    const HKEY key = createKey(L"Software\\Bench");
    RegSetValueExW(key, L"DataFile", 0, REG_SZ, sampleText().data(),
                   static_cast<DWORD>(sampleText().size()));
    BYTE buffer[520];
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        DWORD size = 518;
        DWORD type = REG_NONE;
        if (RegQueryValueExW(key, L"DataFile", nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
    scope.report(state);
    RegCloseKey(key);
    state.SetLabel("goal<=3");
}

void peerValueRead(benchmark::State& state) {
    BenchRegistry registry;
    DirectStore store(registry.directory + "/direct.db");
    store.write("DATAFILE", sampleText());
    BYTE buffer[520];
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.read("DATAFILE", buffer, 518));
    }
}

// Writes the value once an iteration, each time with changed data (SQLite skips a write that
// changes nothing).
void writeEachIteration(benchmark::State& state, HKEY key, std::vector<BYTE>& text) {
    for (auto _ : state) {
        ++text[0];
        if (RegSetValueExW(key, L"DataFile", 0, REG_SZ, text.data(),
                           static_cast<DWORD>(text.size())) != ERROR_SUCCESS) {
            state.SkipWithError("write failed");
            break;
        }
    }
}

void krelValueWrite(benchmark::State& state) {
    BenchRegistry registry;
    const HKEY key = createKey(L"Software\\Bench");
    std::vector<BYTE> text = sampleText();
    bench_support::AllocationScope scope;
    writeEachIteration(state, key, text);
    scope.report(state);
    RegCloseKey(key);
    state.SetLabel("goal<=2");
}

void peerValueWrite(benchmark::State& state) {
    BenchRegistry registry;
    DirectStore store(registry.directory + "/direct.db");
    std::vector<BYTE> text = sampleText();
    for (auto _ : state) {
        ++text[0];
        if (!store.write("DATAFILE", text)) {
            state.SkipWithError("write failed");
            break;
        }
    }
}

// The same write while a change watch is armed on another key of the hive: the watch must cost
// the writes nothing much. Its peer is the write with no watch armed. Timed by the wall clock,
// as the watch's work runs on the notifier thread.
void krelValueWriteWatched(benchmark::State& state) {
    BenchRegistry registry;
    const HKEY key = createKey(L"Software\\Bench");
    const HKEY watched = createKey(watchedPath);
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) !=
        ERROR_SUCCESS) {
        state.SkipWithError("no watch");
        return;
    }
    std::vector<BYTE> text = sampleText();
    bench_support::AllocationScope scope;
    writeEachIteration(state, key, text);
    scope.report(state);
    if (WaitForSingleObject(event, 0) != WAIT_TIMEOUT) {
        state.SkipWithError("the watch fired for another key");
    }
    CloseHandle(event);
    RegCloseKey(watched);
    RegCloseKey(key);
    state.SetLabel("goal<=1.1");
}

void unwatchedValueWrite(benchmark::State& state) {
    BenchRegistry registry;
    const HKEY key = createKey(L"Software\\Bench");
    std::vector<BYTE> text = sampleText();
    writeEachIteration(state, key, text);
    RegCloseKey(key);
}

// This program started again as the writing process; its stdin and stdout are pipes.
class WriterProcess {
public:
    explicit WriterProcess(const char* mode = "1") {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> variables{std::string(writerMarker) + "=" + mode};
        std::vector<char*> environment{variables[0].data()};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            environment.push_back(*variable);
        }
        environment.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        char program[] = "/proc/self/exe";
        char* arguments[] = {program, nullptr};
        if (posix_spawn(&pid, program, &actions, nullptr, arguments, environment.data()) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        input = toChild[1];
        output = fromChild[0];
    }
    ~WriterProcess() {
        close(input);
        close(output);
        int status = 0;
        if (pid > 0) {
            waitpid(pid, &status, 0);
        }
    }

    // Asks for one write ('k' a registry value, 'p' a file append); answers the time the
    // writer took just before writing, or a default time point when it did not answer.
    bool request(char kind) { return pid > 0 && ::write(input, &kind, 1) == 1; }
    Clock::time_point answer() {
        Clock::rep ticks = 0;
        if (::read(output, &ticks, sizeof ticks) != sizeof ticks) {
            return Clock::time_point();
        }
        return Clock::time_point(Clock::duration(ticks));
    }
    // The batch writer's answer: its longest write, or a negative duration when one failed.
    Clock::duration batchAnswer() {
        Clock::rep ticks = -1;
        if (::read(output, &ticks, sizeof ticks) != sizeof ticks) {
            return Clock::duration(-1);
        }
        return Clock::duration(ticks);
    }

private:
    pid_t pid = -1;
    int input = -1;
    int output = -1;
};

// The writing process's side: a registry value write or a one-byte file append per request.
[[noreturn]] void serveWrites() {
    HKEY key = createKey(watchedPath);
    const std::string file = std::string(std::getenv("KREL_REGISTRY_DIR")) + "/appended";
    const int appended = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    char kind;
    DWORD round = 0;
    while (read(0, &kind, 1) == 1) {
        const Clock::rep ticks = Clock::now().time_since_epoch().count();
        ++round;
        if (kind == 'k') {
            RegSetValueExW(key, L"round", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&round), 4);
        } else if (write(appended, "x", 1) != 1) {
            break;
        }
        if (write(1, &ticks, sizeof ticks) != sizeof ticks) {
            break;
        }
    }
    _exit(0);
}

constexpr int batchWrites = 50;

// The batch writing process's side: per request, batchWrites writes of one value ('k' in the
// registry, 'p' in the direct store); the answer is the longest one, -1 when one failed.
[[noreturn]] void serveBatches() {
    const std::string directory = std::getenv("KREL_REGISTRY_DIR");
    const HKEY key = createKey(L"Software\\Bench");
    DirectStore store(directory + "/direct.db");
    std::vector<BYTE> text = sampleText();
    char kind;
    while (read(0, &kind, 1) == 1) {
        Clock::duration slowest{};
        for (int i = 0; i < batchWrites && slowest.count() >= 0; ++i) {
            ++text[0];
            const Clock::time_point start = Clock::now();
            const bool written =
                kind == 'k' ? RegSetValueExW(key, L"DataFile", 0, REG_SZ, text.data(),
                                             static_cast<DWORD>(text.size())) == ERROR_SUCCESS
                            : store.write("DATAFILE", text);
            slowest = written ? std::max(slowest, Clock::now() - start) : Clock::duration(-1);
        }
        const Clock::rep ticks = slowest.count();
        if (write(1, &ticks, sizeof ticks) != sizeof ticks) {
            break;
        }
    }
    _exit(0);
}

struct WriterEntry {
    WriterEntry() {
        const char* mode = std::getenv(writerMarker);
        if (mode != nullptr) {
            std::strcmp(mode, "batch") == 0 ? serveBatches() : serveWrites();
        }
    }
} writerEntry;

// Four batch writers of one kind, started once the store exists.
void fourWriters(benchmark::State& state, char kind) {
    std::vector<std::unique_ptr<WriterProcess>> writers;
    for (int i = 0; i < 4; ++i) {
        writers.push_back(std::make_unique<WriterProcess>("batch"));
    }
    Clock::duration slowest{};
    long failed = 0;
    const auto batch = [&]() {
        for (const auto& writer : writers) {
            writer->request(kind);
        }
        for (const auto& writer : writers) {
            const Clock::duration longest = writer->batchAnswer();
            failed += longest.count() < 0 ? 1 : 0;
            slowest = std::max(slowest, longest);
        }
    };
    // The first batch waits for the processes to start and open the store.
    batch();
    slowest = Clock::duration();
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        batch();
    }
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.counters["write_us"] =
        state.iterations() > 0 ? elapsed / static_cast<double>(state.iterations() * 4 * batchWrites)
                               : 0.0;
    state.counters["slowest_ms"] = std::chrono::duration<double, std::milli>(slowest).count();
    state.counters["failed_batches"] = static_cast<double>(failed);
    if (failed > 0) {
        state.SkipWithError("a write failed");
    }
}

void krelFourWriters(benchmark::State& state) {
    BenchRegistry registry;
    RegCloseKey(createKey(L"Software\\Bench"));
    fourWriters(state, 'k');
    state.SetLabel("slowest_ms<=250");
}

void peerFourWriters(benchmark::State& state) {
    BenchRegistry registry;
    { DirectStore store(registry.directory + "/direct.db"); }
    fourWriters(state, 'p');
}

void krelChangeFromAnotherProcess(benchmark::State& state) {
    BenchRegistry registry;
    const HKEY key = createKey(watchedPath);
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WriterProcess writer;
    // The first write opens the writer's hive.
    if (!writer.request('k') || writer.answer() == Clock::time_point()) {
        state.SkipWithError("no writing process");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        if (RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) !=
                ERROR_SUCCESS ||
            !writer.request('k') || WaitForSingleObject(event, 5000) != WAIT_OBJECT_0) {
            state.SkipWithError("the change was not signalled");
            break;
        }
        const Clock::time_point woken = Clock::now();
        const double elapsed = std::chrono::duration<double>(woken - writer.answer()).count();
        state.SetIterationTime(elapsed);
        latencies.push_back(elapsed);
    }
    CloseHandle(event);
    RegCloseKey(key);
    state.SetLabel("latency_ms<=10");
    state.counters["latency_ms"] = bench_support::medianMilliseconds(latencies);
}

void peerChangeFromAnotherProcess(benchmark::State& state) {
    BenchRegistry registry;
    const std::string file = registry.directory + "/appended";
    close(open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    const int notifier = inotify_init1(IN_CLOEXEC);
    WriterProcess writer;
    if (notifier < 0 || inotify_add_watch(notifier, file.c_str(), IN_MODIFY) < 0 ||
        !writer.request('p') || writer.answer() == Clock::time_point()) {
        state.SkipWithError("no inotify watch or writing process");
        return;
    }
    alignas(inotify_event) char events[4096];
    std::vector<double> latencies;
    for (auto _ : state) {
        pollfd ready{notifier, POLLIN, 0};
        if (!writer.request('p') || poll(&ready, 1, 5000) != 1 ||
            read(notifier, events, sizeof events) <= 0) {
            state.SkipWithError("the change was not reported");
            break;
        }
        const Clock::time_point woken = Clock::now();
        const double elapsed = std::chrono::duration<double>(woken - writer.answer()).count();
        state.SetIterationTime(elapsed);
        latencies.push_back(elapsed);
    }
    close(notifier);
    state.counters["latency_ms"] = bench_support::medianMilliseconds(latencies);
}

// The keys listed: "Values<n>" of n values and "Subkeys<n>" of n subkeys, below the root of the
// user's hive in a registry of their own, each filled at its first use and kept for the whole
// run, as filling the largest takes long.
class ListedHive {
public:
    ListedHive() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-bench-XXXXXX";
        directory = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ListedHive() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    // Makes this registry the process's and opens the key of values (of subkeys when
    // subkeys), filling it first when this run has not; null when that fails.
    HKEY open(long size, bool subkeys) {
        setenv("KREL_REGISTRY_DIR", directory.c_str(), 1);
        krel_platform::reopenRegistryStore();
        const std::wstring name = keyName(size, subkeys);
        HKEY key = createKey(name.c_str());
        if (key != nullptr && filled.insert(name).second && !fill(key, size, subkeys)) {
            RegCloseKey(key);
            return nullptr;
        }
        return key;
    }

    std::string database() const { return directory + "/user.db"; }

    static std::wstring keyName(long size, bool subkeys) {
        return (subkeys ? L"Subkeys" : L"Values") + std::to_wstring(size);
    }

private:
    static bool fill(HKEY key, long size, bool subkeys) {
        const BYTE data[4] = {1, 0, 0, 0};
        for (long i = 0; i < size; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"entry%07ld", i);
            HKEY made = nullptr;
            const LSTATUS status = subkeys
                                       ? RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                         nullptr, &made, nullptr)
                                       : RegSetValueExW(key, name, 0, REG_DWORD, data, sizeof data);
            if (made != nullptr) {
                RegCloseKey(made);
            }
            if (status != ERROR_SUCCESS) {
                return false;
            }
        }
        return true;
    }

    std::string directory;
    std::set<std::wstring> filled;
};

ListedHive listedHive;

// Lists every value of the key by index: how many it listed, -1 when a call failed.
long listValues(HKEY key) {
    wchar_t name[256];
    BYTE data[520];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        const LSTATUS status =
            RegEnumValueW(key, index, name, &length, nullptr, &type, data, &size);
        if (status != ERROR_SUCCESS) {
            return status == ERROR_NO_MORE_ITEMS ? static_cast<long>(index) : -1;
        }
        benchmark::DoNotOptimize(data);
    }
}

long listSubkeys(HKEY key) {
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            return status == ERROR_NO_MORE_ITEMS ? static_cast<long>(index) : -1;
        }
        benchmark::DoNotOptimize(name);
    }
}

// Lists the key's values (its subkeys when subkeys) once an iteration and reports the mean
// microseconds per entry as the counter.
void listEachIteration(benchmark::State& state, long size, bool subkeys, const char* counter) {
    const HKEY key = listedHive.open(size, subkeys);
    if (key == nullptr) {
        state.SkipWithError("the key could not be filled");
        return;
    }
    for (auto _ : state) {
        if ((subkeys ? listSubkeys(key) : listValues(key)) != size) {
            state.SkipWithError("the listing did not give every entry");
            break;
        }
    }
    // The inverse of the rate of millions of entries per second of CPU time.
    state.counters[counter] = benchmark::Counter(static_cast<double>(size) * 1e-6,
                                                 benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
    RegCloseKey(key);
}

void krelListValues(benchmark::State& state) {
    listEachIteration(state, state.range(0), false, "value_us");
    state.SetLabel("value_us<=5");
}

void krelListSubkeys(benchmark::State& state) {
    listEachIteration(state, state.range(0), true, "subkey_us");
    state.SetLabel("subkey_us<=5");
}

// The listing of 10 000 values against that of 1 000, both through RegEnumValueW.
void krelListTenThousandValues(benchmark::State& state) {
    listEachIteration(state, 10000, false, "value_us");
    state.SetLabel("goal<=15");
}

void krelListThousandValues(benchmark::State& state) {
    listEachIteration(state, 1000, false, "value_us");
}

// The peer's listing: one statement over the hive's database, its name and data copied out of
// each row as the registry call copies them to its caller.
class DirectListing {
public:
    DirectListing(long size, bool subkeys) {
        const HKEY filled = listedHive.open(size, subkeys);
        if (filled == nullptr) {
            return;
        }
        RegCloseKey(filled);
        if (sqlite3_open_v2(listedHive.database().c_str(), &database, SQLITE_OPEN_READONLY,
                            nullptr) != SQLITE_OK) {
            return;
        }
        const std::vector<BYTE> name =
            utf16Bytes(krel_platform::wideToUtf16(ListedHive::keyName(size, subkeys)));
        sqlite3_stmt* find = nullptr;
        sqlite3_prepare_v2(database, "SELECT id FROM keys WHERE parent = 1 AND name = ?1", -1,
                           &find, nullptr);
        sqlite3_bind_blob(find, 1, name.data(), static_cast<int>(name.size() - 2), SQLITE_STATIC);
        key = sqlite3_step(find) == SQLITE_ROW ? sqlite3_column_int64(find, 0) : 0;
        sqlite3_finalize(find);
        sqlite3_prepare_v2(database,
                           subkeys ? "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded"
                                   : "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id",
                           -1, &listing, nullptr);
    }
    ~DirectListing() {
        sqlite3_finalize(listing);
        sqlite3_close(database);
    }

    // How many entries the statement listed; 0 without the key.
    long list() {
        wchar_t name[256];
        BYTE data[520];
        long count = 0;
        sqlite3_bind_int64(listing, 1, key);
        while (sqlite3_step(listing) == SQLITE_ROW) {
            const auto* units = static_cast<const BYTE*>(sqlite3_column_blob(listing, 0));
            const size_t length = std::min<size_t>(sqlite3_column_bytes(listing, 0) / 2, 255);
            for (size_t i = 0; i < length; ++i) {
                name[i] = static_cast<wchar_t>(units[2 * i] | (units[2 * i + 1] << 8));
            }
            name[length] = L'\0';
            if (sqlite3_column_count(listing) > 1) {
                const size_t size = std::min<size_t>(sqlite3_column_bytes(listing, 2), sizeof data);
                std::memcpy(data, sqlite3_column_blob(listing, 2), size);
            }
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(data);
            ++count;
        }
        sqlite3_reset(listing);
        return count;
    }

private:
    sqlite3* database = nullptr;
    sqlite3_stmt* listing = nullptr;
    sqlite3_int64 key = 0;
};

void directListEachIteration(benchmark::State& state, bool subkeys) {
    const long size = state.range(0);
    DirectListing listing(size, subkeys);
    for (auto _ : state) {
        if (listing.list() != size) {
            state.SkipWithError("the statement did not list every entry");
            break;
        }
    }
}

void peerListValues(benchmark::State& state) {
    directListEachIteration(state, false);
}

void peerListSubkeys(benchmark::State& state) {
    directListEachIteration(state, true);
}

} // namespace

BENCHMARK(krelValueRead)->Name("registry value read/krel");
BENCHMARK(peerValueRead)->Name("registry value read/peer");
BENCHMARK(krelValueWrite)->Name("registry value write/krel");
BENCHMARK(peerValueWrite)->Name("registry value write/peer");
BENCHMARK(krelValueWriteWatched)
    ->Name("registry value write with a watch armed/krel")
    ->UseRealTime();
BENCHMARK(unwatchedValueWrite)->Name("registry value write with a watch armed/peer")->UseRealTime();
BENCHMARK(krelFourWriters)->Name("registry value write four writers/krel")->UseRealTime();
BENCHMARK(peerFourWriters)->Name("registry value write four writers/peer")->UseRealTime();
BENCHMARK(krelChangeFromAnotherProcess)
    ->Name("registry change from another process/krel")
    ->UseManualTime();
BENCHMARK(peerChangeFromAnotherProcess)
    ->Name("registry change from another process/peer")
    ->UseManualTime();
BENCHMARK(krelListValues)
    ->Name("registry enum values/krel")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(peerListValues)
    ->Name("registry enum values/peer")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(krelListTenThousandValues)->Name("registry enum values 10000 against 1000/krel");
BENCHMARK(krelListThousandValues)->Name("registry enum values 10000 against 1000/peer");
BENCHMARK(krelListSubkeys)
    ->Name("registry enum subkeys/krel")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(peerListSubkeys)
    ->Name("registry enum subkeys/peer")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
