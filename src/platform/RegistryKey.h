// The kernel object behind a registry key handle.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/RegistryEnumCursor.h"
#include "platform/WinHandles.h"

namespace krel_platform {

class RegistryHive;

// A key of a hive, named by its key id, with the access the handle was opened with. It cannot
// be waited on. It goes when its handle is closed and no call on it is under way. No kind
// derives from it, so a handle's object is a key exactly when its type is this one.
class RegistryKey final : public KernelObject {
public:
    RegistryKey(std::shared_ptr<RegistryHive> hive, int64_t key, DWORD access)
        : hive(std::move(hive)), key(key), access(access) {}
    // Ends the notifications armed through the handle, signalling them.
    ~RegistryKey() override;

    const std::shared_ptr<RegistryHive>& getHive() const { return hive; }
    int64_t getKey() const { return key; }
    DWORD getAccess() const { return access; }
    // Where the handle's listings of values and of subkeys stand; used with the hive's mutex
    // held.
    RegistryEnumCursor& valueCursor() { return values; }
    RegistryEnumCursor& subkeyCursor() { return subkeys; }

private:
    std::shared_ptr<RegistryHive> hive;
    int64_t key;
    DWORD access;
    RegistryEnumCursor values;
    RegistryEnumCursor subkeys;
};

} // namespace krel_platform
