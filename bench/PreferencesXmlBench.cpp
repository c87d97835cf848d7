// Export and import of a tree of 100 nodes with 10 keys each as an XML preferences document,
// on the in-memory test back end, against what a user would write instead: the same document
// written with one stream, and parsed with the same DOM parser into a map without any checks.
#include <benchmark/benchmark.h>

#include "support/AllocationCounter.h"

#include "../tests/support/MemoryPreferences.h"

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XMLString.hpp>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

const int nodeCount = 100;
const int keyCount = 10;

std::string temporaryFile(const char* name) {
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-" +
           std::to_string(getpid()) + ".xml";
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

void fill(const boost::shared_ptr<krel_std::Preferences>& root) {
    for (int node = 0; node < nodeCount; ++node) {
        const boost::shared_ptr<krel_std::Preferences> child =
            root->node(L"node" + std::to_wstring(node));
        for (int key = 0; key < keyCount; ++key) {
            child->put(L"key" + std::to_wstring(key), L"value of key " + std::to_wstring(key));
        }
    }
}

void reportMilliseconds(benchmark::State& state, const char* label) {
    state.counters["ms"] = benchmark::Counter(1e-3, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    state.SetLabel(label);
}

void ExportKrel(benchmark::State& state) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot());
    const std::wstring file = wide(temporaryFile("krel-xml-export"));
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        factory.userRoot()->exportSubtree(file);
    }
    scope.report(state);
    reportMilliseconds(state, "ms<=5");
}

void ExportPeer(benchmark::State& state) {
    std::map<std::string, std::map<std::string, std::string>> tree;
    for (int node = 0; node < nodeCount; ++node) {
        for (int key = 0; key < keyCount; ++key) {
            tree["node" + std::to_string(node)]["key" + std::to_string(key)] =
                "value of key " + std::to_string(key);
        }
    }
    const std::string file = temporaryFile("peer-xml-export");
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

void ImportKrel(benchmark::State& state) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot());
    const std::wstring file = wide(temporaryFile("krel-xml-import"));
    factory.userRoot()->exportSubtree(file);
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        state.PauseTiming();
        factory.reset();
        state.ResumeTiming();
        krel_std::Preferences::importPreferences(file);
    }
    scope.report(state);
    reportMilliseconds(state, "ms<=10");
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
    const std::string file = temporaryFile("peer-xml-import");
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
BENCHMARK(ImportPeer)->Name("PreferencesXml/import/peer")->Unit(benchmark::kMillisecond);
