// Export and import of a tree of 100 nodes with 10 keys each as an XML preferences document,
// on the in-memory test back end, against what a user would write instead: the same document
// written with one stream, and parsed with the same DOM parser into a map without any checks.
// The imports also report their peak memory beside the document's size, for this tree and for
// one of 2000 nodes with 50 keys each.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XMLString.hpp>

#include "../tests/support/MemoryPreferences.h"
#include "support/AllocationCounter.h"

namespace {

const int nodeCount = 100;
const int keyCount = 10;
const int largeNodeCount = 2000;
const int largeKeyCount = 50;

std::string temporaryFile(const char* name) {
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-" +
           std::to_string(getpid()) + ".xml";
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

void fill(const boost::shared_ptr<krel_std::Preferences>& root, int nodes = nodeCount,
          int keys = keyCount) {
    for (int node = 0; node < nodes; ++node) {
        const boost::shared_ptr<krel_std::Preferences> child =
            root->node(L"node" + std::to_wstring(node));
        for (int key = 0; key < keys; ++key) {
            child->put(L"key" + std::to_wstring(key), L"value of key " + std::to_wstring(key));
        }
    }
}

// A file of the benchmark's own below $TMPDIR, removed when the benchmark is done with it.
class TemporaryFile {
public:
    explicit TemporaryFile(const char* name) : path(temporaryFile(name)) {}
    ~TemporaryFile() { std::remove(path.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string path;
};

void ExportKrel(benchmark::State& state) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot());
    const TemporaryFile target("krel-xml-export");
    const std::wstring file = wide(target.path);
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        factory.userRoot()->exportSubtree(file);
    }
    scope.report(state);
    state.SetLabel("goal<=1.2");
}

void ExportPeer(benchmark::State& state) {
    std::map<std::string, std::map<std::string, std::string>> tree;
    for (int node = 0; node < nodeCount; ++node) {
        for (int key = 0; key < keyCount; ++key) {
            tree["node" + std::to_string(node)]["key" + std::to_string(key)] =
                "value of key " + std::to_string(key);
        }
    }
    const TemporaryFile target("peer-xml-export");
    const std::string& file = target.path;
    for (auto _ : state) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "<?xml version=\"1.0\"?>\r\n<preferences>\r\n\t<root "
               "type=\"user\">\r\n\t\t<map/>\r\n";
        for (const auto& node : tree) {
            out << "\t\t\t<node name=\"" << node.first << "\">\r\n\t\t\t\t<map>\r\n";
            for (const auto& entry : node.second) {
                out << "\t\t\t\t\t<entry key=\"" << entry.first << "\" value=\"" << entry.second
                    << "\"/>\r\n";
            }
            out << "\t\t\t\t</map>\r\n\t\t\t</node>\r\n";
        }
        out << "\t</root>\r\n</preferences>\r\n";
    }
}

long residentHighWaterKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One import into an empty tree in a child process, whose high-water mark of resident memory
// starts at what it inherits: answers how far the import raised it, in kilobytes, or -1.
long importPeakKilobytes(const std::wstring& file) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        krel_test::MemoryPreferencesFactory::registered().reset();
        const long before = residentHighWaterKilobytes();
        long raised = -1;
        try {
            krel_std::Preferences::importPreferences(file);
            raised = residentHighWaterKilobytes() - before;
        } catch (...) {
        }
        const ssize_t written = write(channel[1], &raised, sizeof raised);
        _exit(written == static_cast<ssize_t>(sizeof raised) ? 0 : 1);
    }
    close(channel[1]);
    long raised = -1;
    if (child < 0 ||
        read(channel[0], &raised, sizeof raised) != static_cast<ssize_t>(sizeof raised)) {
        raised = -1;
    }
    close(channel[0]);
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
    return raised;
}

// "docKB" the document's size and "peakKB" how far one import raises the resident memory's
// high-water mark, which holds the stored tree too.
void reportImportPeak(benchmark::State& state, const std::wstring& file) {
    struct stat info {};
    const std::string name(file.begin(), file.end());
    const double documentKilobytes = stat(name.c_str(), &info) == 0 ? info.st_size / 1024.0 : 0;
    const long peak = importPeakKilobytes(file);
    state.counters["docKB"] = documentKilobytes;
    state.counters["peakKB"] = static_cast<double>(peak);
    state.counters["peak/doc"] = documentKilobytes > 0 ? peak / documentKilobytes : 0;
}

void importTree(benchmark::State& state, int nodes, int keys, const char* label) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot(), nodes, keys);
    const TemporaryFile source("krel-xml-import");
    const std::wstring file = wide(source.path);
    factory.userRoot()->exportSubtree(file);
    factory.reset();
    reportImportPeak(state, file);
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        state.PauseTiming();
        factory.reset();
        state.ResumeTiming();
        krel_std::Preferences::importPreferences(file);
    }
    scope.report(state);
    state.SetLabel(label);
}

void ImportKrel(benchmark::State& state) {
    importTree(state, nodeCount, keyCount, "goal<=1.2");
}

void ImportKrelLarge(benchmark::State& state) {
    importTree(state, largeNodeCount, largeKeyCount, "100000 entries");
}

// Every "entry" element's key and value below the node, in document order.
void collectEntries(xercesc::DOMNode* node, std::map<std::u16string, std::u16string>& values) {
    for (xercesc::DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (child->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) {
            continue;
        }
        auto* element = static_cast<xercesc::DOMElement*>(child);
        if (std::u16string(u"entry") == element->getTagName()) {
            values[element->getAttribute(u"key")] = element->getAttribute(u"value");
        }
        collectEntries(element, values);
    }
}

void ImportPeer(benchmark::State& state) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot());
    const TemporaryFile source("peer-xml-import");
    const std::string& file = source.path;
    factory.userRoot()->exportSubtree(wide(file));
    for (auto _ : state) {
        xercesc::XercesDOMParser parser;
        parser.setLoadExternalDTD(false);
        parser.parse(file.c_str());
        std::map<std::u16string, std::u16string> values;
        collectEntries(parser.getDocument()->getDocumentElement(), values);
        benchmark::DoNotOptimize(values.size());
    }
}

} // namespace

BENCHMARK(ExportKrel)->Name("PreferencesXml/export/krel")->Unit(benchmark::kMillisecond);
BENCHMARK(ExportPeer)->Name("PreferencesXml/export/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(ImportKrel)->Name("PreferencesXml/import/krel")->Unit(benchmark::kMillisecond);
BENCHMARK(ImportKrelLarge)
    ->Name("PreferencesXml/import/krel/large")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(ImportPeer)->Name("PreferencesXml/import/peer")->Unit(benchmark::kMillisecond);
