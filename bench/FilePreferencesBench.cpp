// The file preferences back end against an INI settings file of Qt (QSettings in INI format): a
// read of a value already loaded, and one changed value written to the file. Both sides work in
// a directory of their own below $TMPDIR, removed when the program ends. Writes wait for the
// disk on both sides, so they are compared by real time.
#include <QSettings>
#include <QString>
#include <QVariant>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "prefs/FilePreferences.h"
#include "support/AllocationCounter.h"

namespace {

const std::string& benchDirectory();

// Registered once the directory exists, so it runs after the preference roots made later are gone.
void removeBenchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(benchDirectory(), ignored);
}

// A fresh directory for this program; the file tree is put below it before its roots exist.
const std::string& benchDirectory() {
    // Never destroyed, so that the handler that removes the directory at exit can still name it.
    static const std::string& directory = *new std::string([] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        setenv("KREL_PREFS_DIR", pattern.c_str(), 1);
        std::atexit(removeBenchDirectory);
        return pattern;
    }());
    return directory;
}

boost::shared_ptr<krel_std::Preferences> benchNode() {
    benchDirectory();
    const boost::shared_ptr<krel_std::Preferences> node =
        krel_std::FilePreferences::getUserRoot()->node(L"bench/file");
    node->put(L"timeout", L"1500 ms");
    node->flush();
    return node;
}

void nanosecondsPerCall(benchmark::State& state, const char* name) {
    state.counters[name] = benchmark::Counter(1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void FileGetKrel(benchmark::State& state) {
    const boost::shared_ptr<krel_std::Preferences> node = benchNode();
    const std::wstring key = L"timeout";
    const std::wstring def;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        benchmark::DoNotOptimize(node->get(key, def));
    }
    scope.report(state);
    nanosecondsPerCall(state, "get_ns");
    state.SetLabel("goal<=1.2");
}

void FileGetPeer(benchmark::State& state) {
    QSettings settings(QString::fromStdString(benchDirectory() + "/peer-get.ini"),
                       QSettings::IniFormat);
    settings.setValue("timeout", "1500 ms");
    settings.sync();
    const QString key = "timeout";
    for (auto _ : state) {
        benchmark::DoNotOptimize(settings.value(key));
    }
}

void FilePutFlushKrel(benchmark::State& state) {
    const boost::shared_ptr<krel_std::Preferences> node = benchNode();
    const std::wstring key = L"timeout";
    const std::wstring values[2] = {L"1500 ms", L"2500 ms"};
    int turn = 0;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        node->put(key, values[turn ^= 1]);
        node->flush();
    }
    scope.report(state);
    state.SetLabel("goal<=1");
}

void FilePutFlushPeer(benchmark::State& state) {
    QSettings settings(QString::fromStdString(benchDirectory() + "/peer-flush.ini"),
                       QSettings::IniFormat);
    const QString key = "timeout";
    const QString values[2] = {"1500 ms", "2500 ms"};
    int turn = 0;
    for (auto _ : state) {
        settings.setValue(key, values[turn ^= 1]);
        settings.sync();
    }
}

} // namespace

BENCHMARK(FileGetKrel)->Name("FilePreferences/get/krel");
BENCHMARK(FileGetPeer)->Name("FilePreferences/get/peer");
BENCHMARK(FilePutFlushKrel)->Name("FilePreferences/putFlush/krel")->UseRealTime();
BENCHMARK(FilePutFlushPeer)->Name("FilePreferences/putFlush/peer")->UseRealTime();
