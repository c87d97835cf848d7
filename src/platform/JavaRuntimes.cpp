#include "platform/JavaRuntimes.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/JavaRuntimeSearchHook.h"
#include "platform/RegistryName.h"
#include "platform/Utf16.h"

namespace krel_platform {

namespace {

const char* const SYSTEM_JAVA_DIRECTORY = "/usr/lib/jvm";
const char* const RELEASE_FILE_NAME = "/release";
const char* const RUNTIME_LIBRARY_NAME = "/lib/server/libjvm.so";
const std::string VERSION_KEY = "JAVA_VERSION=";

// The directories a test asked for; none set means the machine's own places. Never destroyed:
// a thread may search while the process exits.
struct SearchOverride {
    std::mutex mutex;
    bool active = false;
    std::vector<std::string> directories;
};

SearchOverride& searchOverride() {
    static SearchOverride& state = *new SearchOverride;
    return state;
}

// The real path of an existing directory or file; empty when it cannot be resolved.
std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string parentOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool isReadableFile(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(path.c_str(), R_OK) == 0;
}

// The names of a directory's entries (without "." and ".."), sorted; none when it cannot be
// read.
std::vector<std::string> entriesOf(const std::string& directory) {
    std::vector<std::string> names;
    DIR* stream = opendir(directory.c_str());
    if (stream == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

// The home of the first executable `java` on PATH: the grandparent of its real path.
std::string homeOfJavaOnPath() {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return std::string();
    }
    const std::string list = path;
    std::string::size_type start = 0;
    while (start <= list.size()) {
        const std::string::size_type end = std::min(list.find(':', start), list.size());
        const std::string directory = list.substr(start, end - start);
        if (!directory.empty()) {
            const std::string candidate = directory + "/java";
            if (access(candidate.c_str(), X_OK) == 0) {
                const std::string resolved = realPath(candidate);
                return resolved.empty() ? std::string() : parentOf(parentOf(resolved));
            }
        }
        start = end + 1;
    }
    return std::string();
}

// The homes to look at, in order of search.
std::vector<std::string> candidateHomes() {
    std::vector<std::string> scanned;
    std::vector<std::string> homes;
    bool overridden = false;
    {
        SearchOverride& state = searchOverride();
        std::lock_guard<std::mutex> guard(state.mutex);
        overridden = state.active;
        scanned = state.directories;
    }
    if (!overridden) {
        const char* javaHome = std::getenv("JAVA_HOME");
        if (javaHome != nullptr && *javaHome != '\0') {
            homes.push_back(javaHome);
        }
        homes.push_back(homeOfJavaOnPath());
        scanned.push_back(SYSTEM_JAVA_DIRECTORY);
    }
    for (const std::string& directory : scanned) {
        for (const std::string& name : entriesOf(directory)) {
            homes.push_back(directory + "/" + name);
        }
    }
    return homes;
}

// JAVA_VERSION of the home's release file, without its quotes; empty when there is none.
std::string releaseVersion(const std::string& home) {
    std::ifstream release(home + RELEASE_FILE_NAME);
    std::string line;
    while (std::getline(release, line)) {
        if (line.compare(0, VERSION_KEY.size(), VERSION_KEY) != 0) {
            continue;
        }
        std::string value = line.substr(VERSION_KEY.size());
        if (!value.empty() && value.back() == '\r') {
            value.pop_back();
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::string();
}

bool versionOrder(const JavaRuntime& first, const JavaRuntime& second) {
    return RegistryName(wideToUtf16(first.version)).folded() <
           RegistryName(wideToUtf16(second.version)).folded();
}

} // namespace

std::vector<JavaRuntime> findInstalledJavaRuntimes() {
    std::vector<JavaRuntime> runtimes;
    std::set<std::string> seen;
    for (const std::string& candidate : candidateHomes()) {
        const std::string home = candidate.empty() ? std::string() : realPath(candidate);
        if (home.empty() || !seen.insert(home).second) {
            continue;
        }
        const std::string version = releaseVersion(home);
        const std::string library = home + RUNTIME_LIBRARY_NAME;
        if (version.empty() || !isReadableFile(library)) {
            continue;
        }
        runtimes.push_back({utf8ToWide(version), utf8ToWide(home), utf8ToWide(library)});
    }
    std::stable_sort(runtimes.begin(), runtimes.end(), versionOrder);
    return runtimes;
}

void JavaRuntimeSearchHook::setDirectories(const std::vector<std::string>& directories) {
    SearchOverride& state = searchOverride();
    std::lock_guard<std::mutex> guard(state.mutex);
    state.active = true;
    state.directories = directories;
}

void JavaRuntimeSearchHook::reset() {
    SearchOverride& state = searchOverride();
    std::lock_guard<std::mutex> guard(state.mutex);
    state.active = false;
    state.directories.clear();
}

} // namespace krel_platform
