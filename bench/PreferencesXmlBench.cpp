// Export and import of a tree of 1000 nodes with 10 keys each as an XML preferences document,
// on the in-memory test back end, against what a user would write instead with the XML parser's
// own DOM: the same document, already built as a DOM, serialised with escaping into a file, and
// parsed with the same DOM parser into maps of values by node path without any checks.
// The imports also report their peak memory beside the document's size, for this tree and for
// one of 2000 nodes with 50 keys each.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/dom/DOMLSOutput.hpp>
#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XMLString.hpp>

#include "../tests/support/MemoryPreferences.h"
#include "support/AllocationCounter.h"

namespace {

const int nodeCount = 1000;
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

std::u16string number(int value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
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

// The same document as a DOM of the XML parser's own, made from the same values.
xercesc::DOMDocument* buildDocument(xercesc::DOMImplementation& implementation) {
    xercesc::DOMDocument* document = implementation.createDocument(
        nullptr, u"preferences",
        implementation.createDocumentType(u"preferences", nullptr,
                                          u"http://java.sun.com/dtd/preferences.dtd"));
    xercesc::DOMElement* root = document->createElement(u"root");
    root->setAttribute(u"type", u"user");
    root->appendChild(document->createElement(u"map"));
    document->getDocumentElement()->appendChild(root);
    for (int node = 0; node < nodeCount; ++node) {
        xercesc::DOMElement* child = document->createElement(u"node");
        child->setAttribute(u"name", (u"node" + number(node)).c_str());
        xercesc::DOMElement* map = document->createElement(u"map");
        for (int key = 0; key < keyCount; ++key) {
            xercesc::DOMElement* entry = document->createElement(u"entry");
            entry->setAttribute(u"key", (u"key" + number(key)).c_str());
            entry->setAttribute(u"value", (u"value of key " + number(key)).c_str());
            map->appendChild(entry);
        }
        child->appendChild(map);
        root->appendChild(child);
    }
    return document;
}

// Releases what the DOM implementation made.
struct Release {
    template <typename Made> void operator()(Made* made) const { made->release(); }
};

// Serialises the document it is given, pretty-printed, as UTF-8 into the file, each time.
void ExportPeer(benchmark::State& state) {
    xercesc::DOMImplementation& implementation =
        *xercesc::DOMImplementationRegistry::getDOMImplementation(u"LS");
    const std::unique_ptr<xercesc::DOMDocument, Release> document(buildDocument(implementation));
    const TemporaryFile target("peer-xml-export");
    for (auto _ : state) {
        const std::unique_ptr<xercesc::DOMLSSerializer, Release> serializer(
            implementation.createLSSerializer());
        serializer->getDomConfig()->setParameter(xercesc::XMLUni::fgDOMWRTFormatPrettyPrint, true);
        const std::unique_ptr<xercesc::DOMLSOutput, Release> output(
            implementation.createLSOutput());
        output->setEncoding(u"UTF-8");
        xercesc::LocalFileFormatTarget file(target.path.c_str());
        output->setByteStream(&file);
        serializer->write(document.get(), output.get());
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

// Empty trees for the next import. A node and its parent hold one another, so the user tree's
// nodes are removed first: otherwise every tree dropped stays in memory, and each import
// would be given memory the process never touched before.
void emptyTrees(krel_test::MemoryPreferencesFactory& factory) {
    const boost::shared_ptr<krel_std::Preferences> root = factory.userRoot();
    for (const std::wstring& name : root->childrenNames()) {
        root->node(name)->removeNode();
    }
    factory.reset();
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
        // The emptying is no part of the import: its allocations are left out of the count.
        const long long allocations = bench_support::allocationCount;
        emptyTrees(factory);
        bench_support::allocationCount = allocations;
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

// A tree's values by node path, as the in-memory back end holds them.
typedef std::map<std::u16string, std::map<std::u16string, std::u16string>> StoredValues;

// Every "entry" element's key and value below the element into the values of the node at
// `path`, and those of every "node" element below it into the values of its own path.
void collectEntries(xercesc::DOMNode* node, const std::u16string& path, StoredValues& values) {
    for (xercesc::DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (child->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) {
            continue;
        }
        auto* element = static_cast<xercesc::DOMElement*>(child);
        if (std::u16string(u"entry") == element->getTagName()) {
            values[path][element->getAttribute(u"key")] = element->getAttribute(u"value");
        } else if (std::u16string(u"node") == element->getTagName()) {
            collectEntries(element, path + u"/" + element->getAttribute(u"name"), values);
        } else {
            collectEntries(element, path, values);
        }
    }
}

// Parses the document and stores every entry by its node's path; the values are emptied
// between iterations, untimed, as the import's tree is.
void ImportPeer(benchmark::State& state) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot());
    const TemporaryFile source("peer-xml-import");
    const std::string& file = source.path;
    factory.userRoot()->exportSubtree(wide(file));
    StoredValues values;
    for (auto _ : state) {
        state.PauseTiming();
        values.clear();
        state.ResumeTiming();
        xercesc::XercesDOMParser parser;
        parser.setLoadExternalDTD(false);
        parser.parse(file.c_str());
        collectEntries(parser.getDocument()->getDocumentElement(), std::u16string(), values);
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
