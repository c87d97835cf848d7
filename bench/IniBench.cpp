// INI configuration files: loading 1 MB and 20 MB files of 1000 sections against the INI reader
// a user would pick instead, saving 20 MB against the property tree's INI writer, and the heap
// a load needs at its peak, as a multiple of the file's size.
//
// The global allocation functions are replaced here (instead of by support/AllocationCounter.h)
// so that they can also follow the bytes in use: "allocs" is the heap allocations per call, and
// "peak_over_size" the highest count of heap bytes in use during one load divided by the file
// size.
#include <INIReader.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <new>
#include <string>
#include <unistd.h>

#include "config/ConfigurationFile.h"
#include "file/File.h"
#include "platform/Utf16.h"

namespace {

std::atomic<long long> allocationCount{0};
std::atomic<bool> followingBytes{false};
std::atomic<long long> bytesInUse{0};
std::atomic<long long> peakBytesInUse{0};

void noteAllocated(void* block) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (!followingBytes.load(std::memory_order_relaxed)) {
        return;
    }
    const long long now = bytesInUse.fetch_add(static_cast<long long>(malloc_usable_size(block)),
                                               std::memory_order_relaxed) +
                          static_cast<long long>(malloc_usable_size(block));
    long long peak = peakBytesInUse.load(std::memory_order_relaxed);
    while (now > peak && !peakBytesInUse.compare_exchange_weak(peak, now)) {
    }
}

void noteFreed(void* block) {
    if (block != nullptr && followingBytes.load(std::memory_order_relaxed)) {
        bytesInUse.fetch_sub(static_cast<long long>(malloc_usable_size(block)),
                             std::memory_order_relaxed);
    }
}

// Follows the heap bytes in use from construction on; peak() is the highest count above the
// count at construction.
class PeakScope {
public:
    PeakScope() {
        bytesInUse.store(0);
        peakBytesInUse.store(0);
        followingBytes.store(true);
    }
    PeakScope(const PeakScope&) = delete;
    PeakScope& operator=(const PeakScope&) = delete;
    ~PeakScope() { followingBytes.store(false); }

    long long peak() const { return peakBytesInUse.load(); }
};

// Publishes the allocations per iteration made since `start` as the counter "allocs".
void reportAllocations(benchmark::State& state, long long start) {
    state.counters["allocs"] = benchmark::Counter(
        static_cast<double>(allocationCount.load() - start), benchmark::Counter::kAvgIterations);
}

const int kSections = 1000;

// Writes an INI file of about `size` bytes: kSections sections, each opened by a comment and
// closed by a blank line, holding key/value lines of about forty bytes.
void writeIniFile(const std::string& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    const size_t perSection = size / kSections;
    char line[128];
    for (int section = 0; section < kSections; ++section) {
        size_t written = 0;
        written += static_cast<size_t>(std::snprintf(
            line, sizeof(line), "[section_%04d]\n# options of section %d\n", section, section));
        out << line;
        for (int key = 0; written < perSection; ++key) {
            const int length = std::snprintf(
                line, sizeof(line), "name_%04d = value %d.%d with some text\n", key, section, key);
            out.write(line, length);
            written += static_cast<size_t>(length);
        }
        out << "\n";
    }
}

// The input files, made once in a new temporary directory, and removed at exit.
class Inputs {
public:
    static Inputs& get() {
        static Inputs inputs;
        return inputs;
    }

    std::string oneMegabyte;
    std::string twentyMegabytes;
    std::string krelOutput;
    std::string peerOutput;

    ~Inputs() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

private:
    Inputs() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-ini-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        directory = pattern;
        oneMegabyte = directory + "/one.ini";
        twentyMegabytes = directory + "/twenty.ini";
        krelOutput = directory + "/krel-out.ini";
        peerOutput = directory + "/peer-out.ini";
        writeIniFile(oneMegabyte, 1 << 20);
        writeIniFile(twentyMegabytes, 20 << 20);
    }

    std::string directory;
};

krel_std::File fileOf(const std::string& path) {
    return krel_std::File(krel_platform::utf8ToWide(path));
}

void krelParse(benchmark::State& state, const std::string& path) {
    const krel_std::File file = fileOf(path);
    const long long start = allocationCount.load();
    for (auto _ : state) {
        krel_std::ConfigurationFile configuration(file);
        configuration.load();
        benchmark::DoNotOptimize(configuration.containsSection(L"section_0999"));
    }
    reportAllocations(state, start);
    state.SetLabel("goal<=1");
}

void peerParse(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        INIReader reader(path);
        if (reader.ParseError() != 0) {
            state.SkipWithError("the INI reader refused the input");
            return;
        }
        benchmark::DoNotOptimize(reader.HasSection("section_0999"));
    }
}

void BM_KrelParse1MB(benchmark::State& state) {
    krelParse(state, Inputs::get().oneMegabyte);
}
void BM_PeerParse1MB(benchmark::State& state) {
    peerParse(state, Inputs::get().oneMegabyte);
}
void BM_KrelParse20MB(benchmark::State& state) {
    krelParse(state, Inputs::get().twentyMegabytes);
}
void BM_PeerParse20MB(benchmark::State& state) {
    peerParse(state, Inputs::get().twentyMegabytes);
}

void BM_KrelSave20MB(benchmark::State& state) {
    krel_std::ConfigurationFile configuration(fileOf(Inputs::get().twentyMegabytes));
    configuration.load();
    configuration.setPath(fileOf(Inputs::get().krelOutput));
    const long long start = allocationCount.load();
    for (auto _ : state) {
        configuration.save();
    }
    reportAllocations(state, start);
    state.SetLabel("goal<=1");
}

void BM_PeerSave20MB(benchmark::State& state) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_ini(Inputs::get().twentyMegabytes, tree);
    for (auto _ : state) {
        boost::property_tree::write_ini(Inputs::get().peerOutput, tree);
    }
}

void reportPeak(benchmark::State& state, long long peak, const std::string& path) {
    state.counters["peak_over_size"] =
        static_cast<double>(peak) / static_cast<double>(std::filesystem::file_size(path));
}

// The label names the goal of the counter, not of the time: the time ratio of this row has none.
void BM_KrelLoadPeak(benchmark::State& state) {
    const std::string& path = Inputs::get().twentyMegabytes;
    const krel_std::File file = fileOf(path);
    long long peak = 0;
    for (auto _ : state) {
        PeakScope scope;
        {
            krel_std::ConfigurationFile configuration(file);
            configuration.load();
            benchmark::DoNotOptimize(configuration.containsSection(L"section_0999"));
        }
        peak = scope.peak();
    }
    reportPeak(state, peak, path);
    state.SetLabel("peak_over_size<=4.5");
}

void BM_PeerLoadPeak(benchmark::State& state) {
    const std::string& path = Inputs::get().twentyMegabytes;
    long long peak = 0;
    for (auto _ : state) {
        PeakScope scope;
        {
            INIReader reader(path);
            benchmark::DoNotOptimize(reader.HasSection("section_0999"));
        }
        peak = scope.peak();
    }
    reportPeak(state, peak, path);
}

} // namespace

BENCHMARK(BM_KrelParse1MB)->Name("ini parse 1MB/krel");
BENCHMARK(BM_PeerParse1MB)->Name("ini parse 1MB/peer");
BENCHMARK(BM_KrelParse20MB)->Name("ini parse 20MB/krel");
BENCHMARK(BM_PeerParse20MB)->Name("ini parse 20MB/peer");
BENCHMARK(BM_KrelSave20MB)->Name("ini save 20MB/krel");
BENCHMARK(BM_PeerSave20MB)->Name("ini save 20MB/peer");
BENCHMARK(BM_KrelLoadPeak)->Name("ini load peak memory/krel");
BENCHMARK(BM_PeerLoadPeak)->Name("ini load peak memory/peer");

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    noteAllocated(block);
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    noteFreed(block);
    std::free(block);
}
void operator delete[](void* block) noexcept {
    operator delete(block);
}
void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    operator delete(block);
}
