// The registry hives of the process.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/WinTypes.h"

namespace krel_platform {

class RegistryHive;

// Opens each hive on first use and keeps it for the life of the process (or until a test
// reopens the store). The databases are user.db and machine.db in the directory that
// KREL_REGISTRY_DIR names; without it, the user's hive is in $XDG_CONFIG_HOME/krelstd/registry
// ($HOME/.config when unset) and the machine's in /var/lib/krelstd/registry. The user's hive
// is private: its files are made for the user alone, and so is its directory at that default
// place; the machine's hive is readable by every account.
class RegistryStore {
public:
    enum Hive { currentUser, localMachine, hiveCount };

    static RegistryStore& instance();

    // The hive, opened when first asked for.
    std::shared_ptr<RegistryHive> hive(Hive which);
    // Whether the hive object is still the store's (not one of before a reopen). Takes no
    // lock: the caller holds the candidate, so no other hive can have its address.
    bool isCurrent(const RegistryHive* candidate) const;
    void setForcedReadOnly(Hive which, bool readOnly);
    // Forgets the open hives; the next use opens them where the environment then says.
    void reopen();
    // Where the hive's database is, as the environment names it now.
    static std::string directoryOf(Hive which);

private:
    RegistryStore() = default;

    std::mutex mutex;
    std::shared_ptr<RegistryHive> hives[hiveCount];
    // The hives' addresses, set with them under the mutex, for isCurrent.
    std::atomic<const RegistryHive*> current[hiveCount] = {};
    bool forcedReadOnly[hiveCount] = {false, false};
};

} // namespace krel_platform
