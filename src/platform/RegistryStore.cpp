#include "platform/RegistryStore.h"

#include <cstdlib>

#include "platform/RegistryHive.h"
#include "platform/RegistryNotifier.h"

namespace krel_platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

const char* const baseNames[RegistryStore::hiveCount] = {"user", "machine"};

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
        const std::string base = directoryOf(which) + "/" + baseNames[which];
        hives[which] =
            std::make_shared<RegistryHive>(base + ".db", base + ".doorbell", base + ".lock");
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
