// Export and import of a tree of 1000 nodes with 10 keys each as an XML preferences document,
// on the in-memory test back end, against what a user would write instead with the XML parser's
// own DOM: the same document, already built as a DOM, serialised with escaping into a file, and
// parsed with the same DOM parser into maps of values by node path without any checks.
// The imports also report their peak memory beside the document's size, for this tree and for
// one of 2000 nodes with 50 keys each (100 000 entries), whose import is also timed against the
// DOM parse alone of the same document. Peak memory is measured in a fresh process of this
// program started for one import or parse: how far its resident high-water mark rises above
// the one the process started with.
//
// The file back end beside them: its export of the same tree against the in-memory back end's,
// and its import of a document of 100 nodes with 100 keys each, on disk when the import returns,
// against the JDK's own import of the same document into its file back end followed by a flush
// (a Java program that times its own runs, started once per repetition): once the same document
// again and again, counting the node files each import rewrites, and once two documents in turn
// whose values differ in every node, so that each import changes the whole tree.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/dom/DOMLSOutput.hpp>
#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "../tests/support/MemoryPreferences.h"
#include "prefs/FilePreferences.h"
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
          int keys = keyCount, const std::wstring& valuePrefix = L"value of key ") {
    for (int node = 0; node < nodes; ++node) {
        const boost::shared_ptr<krel_std::Preferences> child =
            root->node(L"node" + std::to_wstring(node));
        for (int key = 0; key < keys; ++key) {
            child->put(L"key" + std::to_wstring(key), valuePrefix + std::to_wstring(key));
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
// starts at what it inherits: answers how far the import raised it, in kilobytes, or -1. In a
// process whose heap has grown and been freed before, an import reuses that memory.
long warmImportPeakKilobytes(const std::wstring& file) {
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

// The parser's own DOM parse of the document, with the external DTD left unread as the import
// leaves it.
void domParse(const std::string& file) {
    xercesc::XercesDOMParser parser;
    parser.setLoadExternalDTD(false);
    parser.parse(file.c_str());
    benchmark::DoNotOptimize(parser.getDocument());
}

// The process's resident high-water mark (VmHWM) in kilobytes, or -1. Unlike the resource usage's
// mark it starts afresh in a program just started, where the resource usage keeps the mark of
// the process that started it.
long memoryHighWaterKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// What one import or DOM parse cost in a fresh process of this program.
struct FreshRun {
    long peakKilobytes = -1;
    double seconds = -1;
};

const char freshRunVariable[] = "KREL_BENCH_XML_FRESH_RUN";

// In a process started for one run, "import:<file>" or "parse:<file>" in freshRunVariable: the
// run, its peak memory above the process's own before it and its time on standard output, and
// the end of the process before any benchmark runs.
bool runFreshRunIfAsked() {
    const char* request = std::getenv(freshRunVariable);
    if (request == nullptr) {
        return false;
    }
    const std::string text(request);
    const std::string file = text.substr(text.find(':') + 1);
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory::registered().reset();
    const long before = memoryHighWaterKilobytes();
    const auto start = std::chrono::steady_clock::now();
    try {
        if (text.rfind("import:", 0) == 0) {
            krel_std::Preferences::importPreferences(std::wstring(file.begin(), file.end()));
        } else {
            domParse(file);
        }
    } catch (...) {
        _exit(1);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << memoryHighWaterKilobytes() - before << " " << seconds << std::endl;
    _exit(0);
}

const bool freshRunDone = runFreshRunIfAsked();

// Starts this program again for one run of the kind ("import" or "parse") on the file.
FreshRun runInFreshProcess(const char* kind, const std::string& file) {
    int channel[2];
    if (pipe(channel) != 0) {
        return FreshRun();
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, channel[0]);
    const std::string request = std::string(freshRunVariable) + "=" + kind + ":" + file;
    std::vector<char*> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.push_back(*variable);
    }
    environment.push_back(const_cast<char*>(request.c_str()));
    environment.push_back(nullptr);
    char program[] = "/proc/self/exe";
    char* arguments[] = {program, nullptr};
    pid_t child = -1;
    const int started =
        posix_spawn(&child, program, &actions, nullptr, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(channel[1]);
    FreshRun run;
    std::string output;
    char buffer[256];
    for (ssize_t got; started == 0 && (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 1;
    if (started == 0) {
        waitpid(child, &status, 0);
    }
    if (status == 0 &&
        std::sscanf(output.c_str(), "%ld %lf", &run.peakKilobytes, &run.seconds) != 2) {
        run = FreshRun();
    }
    return status == 0 ? run : FreshRun();
}

double documentKilobytes(const std::string& file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 ? info.st_size / 1024.0 : 0;
}

// "docKB" the document's size, "peakKB" how far one import in a fresh process raises the
// resident memory's high-water mark, which holds the stored tree too, and "peak_doc" the one
// beside the other; "warmPeak/doc" the same for an import in a copy of this process, whose heap
// has grown before.
void reportImportPeak(benchmark::State& state, const std::wstring& file) {
    const std::string name(file.begin(), file.end());
    const double document = documentKilobytes(name);
    const FreshRun run = runInFreshProcess("import", name);
    const long warm = warmImportPeakKilobytes(file);
    state.counters["docKB"] = document;
    state.counters["peakKB"] = static_cast<double>(run.peakKilobytes);
    state.counters["peak_doc"] = document > 0 ? run.peakKilobytes / document : 0;
    state.counters["warmPeak/doc"] = document > 0 ? warm / document : 0;
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

// A document of the user tree's nodes and keys, written once by the in-memory back end and
// removed when the program ends.
const std::string& importDocument(int nodes, int keys) {
    static std::map<std::pair<int, int>, std::unique_ptr<TemporaryFile>> documents;
    std::unique_ptr<TemporaryFile>& document = documents[{nodes, keys}];
    if (!document) {
        const std::string name = "krel-xml-import-" + std::to_string(nodes * keys);
        document.reset(new TemporaryFile(name.c_str()));
        krel_test::MemoryPreferencesSelection selection;
        krel_test::MemoryPreferencesFactory& factory =
            krel_test::MemoryPreferencesFactory::registered();
        factory.reset();
        fill(factory.userRoot(), nodes, keys);
        factory.userRoot()->exportSubtree(wide(document->path));
        factory.reset();
    }
    return document->path;
}

void importTree(benchmark::State& state, int nodes, int keys, const char* label) {
    const std::wstring file = wide(importDocument(nodes, keys));
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
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
    importTree(state, largeNodeCount, largeKeyCount, "goal<=1.0");
}

// The DOM parse alone of the large import's document.
void ImportPeerLarge(benchmark::State& state) {
    const std::string& file = importDocument(largeNodeCount, largeKeyCount);
    for (auto _ : state) {
        domParse(file);
    }
}

// One run per iteration in a fresh process, timed there: "peak_doc" its peak memory beside the
// document's size.
void freshRuns(benchmark::State& state, const char* kind) {
    const std::string& file = importDocument(largeNodeCount, largeKeyCount);
    const double document = documentKilobytes(file);
    double peak = 0;
    for (auto _ : state) {
        const FreshRun run = runInFreshProcess(kind, file);
        if (run.peakKilobytes < 0) {
            state.SkipWithError("the fresh process did not run");
            return;
        }
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, static_cast<double>(run.peakKilobytes));
    }
    state.counters["docKB"] = document;
    state.counters["peakKB"] = peak;
    state.counters["peak_doc"] = document > 0 ? peak / document : 0;
}

void ImportMemoryKrel(benchmark::State& state) {
    freshRuns(state, "import");
    state.SetLabel("peak_doc<=8");
}

void ImportMemoryPeer(benchmark::State& state) {
    freshRuns(state, "parse");
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

// A directory of the benchmark's own below $TMPDIR, removed with everything in it when the
// program ends.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const char* name) : path(makeDirectory(name)) {}
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string path;

private:
    static std::string makeDirectory(const char* name) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern;
    }
};

// The file back end's trees live below a directory of this program, named before the back end
// first needs its roots.
void placeFileTrees() {
    static const TemporaryDirectory directory("krel-xml-file-tree");
    setenv("KREL_PREFS_DIR", directory.path.c_str(), 1);
}

// The file back end chosen as the factory in use while the object lives.
class FileBackEndSelection {
public:
    FileBackEndSelection() : saved(system().getProperty(variable(), L"")) {
        placeFileTrees();
        system().setProperty(variable(), L"krel_std.FilePreferencesFactory");
    }
    ~FileBackEndSelection() { system().setProperty(variable(), saved); }
    FileBackEndSelection(const FileBackEndSelection&) = delete;
    FileBackEndSelection& operator=(const FileBackEndSelection&) = delete;

private:
    static krel_std::KrelSystem& system() { return krel_std::KrelSystem::getInstance(); }
    static const wchar_t* variable() { return krel_test::MemoryPreferencesSelection::variable(); }

    const std::wstring saved;
};

const int fileImportNodeCount = 100;
const int fileImportKeyCount = 100;

// A tree of the user root with values of the prefix, written by the in-memory back end.
void writeFileImportDocument(const std::string& path, const std::wstring& valuePrefix) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    fill(factory.userRoot(), fileImportNodeCount, fileImportKeyCount, valuePrefix);
    factory.userRoot()->exportSubtree(wide(path));
    factory.reset();
}

// The document both sides of the file back end's import read, written once.
const std::string& fileImportDocument() {
    static const TemporaryFile document("krel-xml-file-import");
    static const bool written = (writeFileImportDocument(document.path, L"value of key "), true);
    benchmark::DoNotOptimize(written);
    return document.path;
}

// The same tree as fileImportDocument's with another value for every key.
const std::string& otherFileImportDocument() {
    static const TemporaryFile document("krel-xml-file-import-other");
    static const bool written =
        (writeFileImportDocument(document.path, L"other value of key "), true);
    benchmark::DoNotOptimize(written);
    return document.path;
}

// The subtree that both sides of the file back end's export write.
const wchar_t exportedNode[] = L"exported";

void ExportFileKrel(benchmark::State& state) {
    const FileBackEndSelection selection;
    const boost::shared_ptr<krel_std::Preferences> tree =
        krel_std::Preferences::userRoot()->node(exportedNode);
    fill(tree);
    tree->flush();
    const TemporaryFile target("krel-xml-file-export");
    const std::wstring file = wide(target.path);
    for (auto _ : state) {
        tree->exportSubtree(file);
    }
    state.SetLabel("goal<=1.5");
}

void ExportFilePeer(benchmark::State& state) {
    krel_test::MemoryPreferencesSelection selection;
    krel_test::MemoryPreferencesFactory& factory =
        krel_test::MemoryPreferencesFactory::registered();
    factory.reset();
    const boost::shared_ptr<krel_std::Preferences> tree = factory.userRoot()->node(exportedNode);
    fill(tree);
    const TemporaryFile target("peer-xml-file-export");
    const std::wstring file = wide(target.path);
    for (auto _ : state) {
        tree->exportSubtree(file);
    }
}

// The inodes of the files of the imported nodes: a rewritten file is a new file, renamed over the
// old one.
std::vector<ino_t> importedFileInodes() {
    const char* const directory = std::getenv("KREL_PREFS_DIR");
    std::vector<ino_t> inodes;
    for (int node = 0; node < fileImportNodeCount; ++node) {
        struct stat info {};
        const std::string file = std::string(directory != nullptr ? directory : "") + "/user/node" +
                                 std::to_string(node) + "/prefs.cfg";
        inodes.push_back(stat(file.c_str(), &info) == 0 ? info.st_ino : 0);
    }
    return inodes;
}

int replacedFiles(const std::vector<ino_t>& before, const std::vector<ino_t>& after) {
    int replaced = 0;
    for (std::size_t node = 0; node < before.size(); ++node) {
        replaced += before[node] != after[node] ? 1 : 0;
    }
    return replaced;
}

// Times imports of the documents in turn into the file back end. "renames" counts the node files
// each import replaced; each replacement syncs the file and its directory.
void importFileTree(benchmark::State& state, const std::vector<std::wstring>& documents) {
    const FileBackEndSelection selection;
    // As the peer's warm-up does, the first import makes the tree's nodes.
    krel_std::Preferences::importPreferences(documents.back());
    std::size_t turn = 0;
    long renames = 0;
    for (auto _ : state) {
        const std::vector<ino_t> before = importedFileInodes();
        const auto start = std::chrono::steady_clock::now();
        krel_std::Preferences::importPreferences(documents[turn++ % documents.size()]);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        renames += replacedFiles(before, importedFileInodes());
    }
    state.counters["renames"] =
        benchmark::Counter(static_cast<double>(renames), benchmark::Counter::kAvgIterations);
}

void ImportFileKrel(benchmark::State& state) {
    importFileTree(state, {wide(fileImportDocument())});
    state.SetLabel("renames<=5");
}

void ImportChangedFileKrel(benchmark::State& state) {
    importFileTree(state, {wide(fileImportDocument()), wide(otherFileImportDocument())});
    state.SetLabel("goal<=1.5");
}

// The peer's median time of one import and flush in seconds, or -1 when it could not be run. With
// another document, the runs import the two in turn.
double javaImportSeconds(const std::string& document, int runs,
                         const std::string& other = std::string()) {
    static const TemporaryDirectory trees("peer-xml-java-tree");
    const std::string command =
        std::string("'") + KREL_BENCH_JAVA + "' -Djava.util.prefs.userRoot='" + trees.path +
        "/user' -Djava.util.prefs.systemRoot='" + trees.path + "/system' -cp '" +
        KREL_BENCH_IMPORT_PEER_JAR + "' PreferencesImportPeer '" + document + "' " +
        std::to_string(runs) + (other.empty() ? "" : " '" + other + "'") + " 2>/dev/null";
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr) {
        return -1;
    }
    long long nanoseconds = -1;
    if (std::fscanf(output, "%lld", &nanoseconds) != 1) {
        nanoseconds = -1;
    }
    const int status = pclose(output);
    return status == 0 && nanoseconds > 0 ? nanoseconds / 1e9 : -1;
}

void reportJavaImport(benchmark::State& state, double seconds) {
    if (seconds < 0) {
        state.SkipWithError("the Java import program could not be run");
        return;
    }
    for (auto _ : state) {
        state.SetIterationTime(seconds);
    }
}

void ImportFilePeer(benchmark::State& state) {
    reportJavaImport(state, javaImportSeconds(fileImportDocument(), 9));
}

void ImportChangedFilePeer(benchmark::State& state) {
    reportJavaImport(state, javaImportSeconds(fileImportDocument(), 9, otherFileImportDocument()));
}

} // namespace

BENCHMARK(ExportKrel)->Name("PreferencesXml/export/krel")->Unit(benchmark::kMillisecond);
BENCHMARK(ExportPeer)->Name("PreferencesXml/export/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(ImportKrel)->Name("PreferencesXml/import/krel")->Unit(benchmark::kMillisecond);
BENCHMARK(ImportPeer)->Name("PreferencesXml/import/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(ImportKrelLarge)
    ->Name("PreferencesXml/import 100000 entries/krel")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(ImportPeerLarge)
    ->Name("PreferencesXml/import 100000 entries/peer")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(ImportMemoryKrel)
    ->Name("PreferencesXml/import 100000 entries fresh process/krel")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(ImportMemoryPeer)
    ->Name("PreferencesXml/import 100000 entries fresh process/peer")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(ExportFileKrel)
    ->Name("PreferencesXml/export file back end/krel")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ExportFilePeer)
    ->Name("PreferencesXml/export file back end/peer")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ImportFileKrel)
    ->Name("PreferencesXml/import file back end/krel")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(9);
BENCHMARK(ImportFilePeer)
    ->Name("PreferencesXml/import file back end/peer")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(9);
BENCHMARK(ImportChangedFileKrel)
    ->Name("PreferencesXml/import changed file back end/krel")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(9);
BENCHMARK(ImportChangedFilePeer)
    ->Name("PreferencesXml/import changed file back end/peer")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(9);
