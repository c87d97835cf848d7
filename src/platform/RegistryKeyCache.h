// Key lookups of one hive served from memory while no process has written the hive since.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RegistryCacheEntries.h"
#include "platform/RegistryValueCache.h"
#include "platform/WinTypes.h"

namespace krel_platform {

// Remembers where subkey paths below keys lead (the key found, or the error that finding it
// met) under the hive's write version, as RegistryValueCache remembers value reads: an answer
// read from the database between two equal, even versions stays good while the version does,
// and every write, of any process, moves the version. Paths are remembered as the caller
// spelled them, so a remembered lookup needs no splitting or folding of names; only paths that
// split without error are looked up at all. Used with the hive's mutex held.
class RegistryKeyCache {
public:
    RegistryKeyCache() = default;
    RegistryKeyCache(const RegistryKeyCache&) = delete;
    RegistryKeyCache& operator=(const RegistryKeyCache&) = delete;

    // Answers true with the remembered status (and the key on success), or false when the
    // version has moved or the path was not looked up under it.
    bool answer(uint64_t current, int64_t base, std::wstring_view path, int64_t& key,
                LSTATUS& status);
    // Remembers the lookup's answer read from the database between the versions before and
    // after.
    void remember(uint64_t before, uint64_t after, int64_t base, std::wstring_view path,
                  LSTATUS status, int64_t key);

private:
    struct Entry {
        int64_t base;
        std::wstring path;
        LSTATUS status;
        int64_t key;
    };

    RegistryCacheEntries<Entry> entries{RegistryValueCache::NO_VERSION};
};

} // namespace krel_platform
