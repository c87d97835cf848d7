#include "platform/RegistryStore.h"

#include <cstdlib>
#include <sys/stat.h>

#include "platform/RegistryHive.h"
#include "platform/RegistryNotifier.h"

namespace krel_platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

const char* const BASE_NAMES[RegistryStore::hiveCount] = {"user", "machine"};

// The user's hive is for the user alone; the machine's is readable by every account.
const mode_t FILE_MODES[RegistryStore::hiveCount] = {0600, 0666};

// Makes the directory and the missing ones above it, each for the owner alone whatever the
// umask. An existing directory is left as it is: a wider one still serves its hive.
void makePrivateDirectories(const std::string& directory) {
    struct stat status {};
    if (directory.empty() || stat(directory.c_str(), &status) == 0) {
        return;
    }
    const size_t parent = directory.find_last_of('/');
    if (parent != std::string::npos && parent > 0) {
        makePrivateDirectories(directory.substr(0, parent));
    }
    if (mkdir(directory.c_str(), 0700) == 0) {
        chmod(directory.c_str(), 0700);
    }
}

} // namespace

RegistryStore& RegistryStore::instance() {
    static RegistryStore& store = *new RegistryStore;
    return store;
}

std::string RegistryStore::directoryOf(Hive which) {
    std::string directory = environment("KREL_REGISTRY_DIR");
    if (!directory.empty()) {
        return directory;
    }
    if (which == localMachine) {
        return "/var/lib/krelstd/registry";
    }
    std::string configuration = environment("XDG_CONFIG_HOME");
    if (configuration.empty()) {
        configuration = environment("HOME") + "/.config";
    }
    return configuration + "/krelstd/registry";
}

std::shared_ptr<RegistryHive> RegistryStore::hive(Hive which) {
    std::lock_guard<std::mutex> guard(mutex);
    if (hives[which] == nullptr) {
        const std::string directory = directoryOf(which);
        if (which == currentUser && environment("KREL_REGISTRY_DIR").empty()) {
            makePrivateDirectories(directory);
        }
        const std::string base = directory + "/" + BASE_NAMES[which];
        hives[which] = std::make_shared<RegistryHive>(base + ".db", base + ".doorbell",
                                                      base + ".lock", FILE_MODES[which]);
        hives[which]->setForcedReadOnly(forcedReadOnly[which]);
        current[which].store(hives[which].get());
    }
    return hives[which];
}

bool RegistryStore::isCurrent(const RegistryHive* candidate) const {
    return candidate != nullptr &&
           (candidate == current[currentUser].load() || candidate == current[localMachine].load());
}

void RegistryStore::setForcedReadOnly(Hive which, bool readOnly) {
    std::lock_guard<std::mutex> guard(mutex);
    forcedReadOnly[which] = readOnly;
    if (hives[which] != nullptr) {
        hives[which]->setForcedReadOnly(readOnly);
    }
}

void RegistryStore::reopen() {
    std::shared_ptr<RegistryHive> closing[hiveCount];
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (int i = 0; i < hiveCount; ++i) {
            closing[i].swap(hives[i]);
            current[i].store(nullptr);
        }
    }
    RegistryNotifier::instance().clear();
}

} // namespace krel_platform
