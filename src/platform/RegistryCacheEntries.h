// The answers that one registry cache of a hive remembers under one write version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace krel_platform {

// At most `capacity` entries, all read under the same write version; once full, each new entry
// replaces the oldest. A version that moves makes them all forgotten. `noVersion`, the version
// that never matches, is never remembered under.
template <typename Entry> class RegistryCacheEntries {
public:
    static constexpr size_t CAPACITY = 64;

    explicit RegistryCacheEntries(uint64_t noVersion) : noVersion(noVersion), version(noVersion) {}
    RegistryCacheEntries(const RegistryCacheEntries&) = delete;
    RegistryCacheEntries& operator=(const RegistryCacheEntries&) = delete;

    // The entries read under `current`; none when they were read under another version, which
    // are forgotten.
    const std::vector<Entry>& under(uint64_t current) {
        if (current != version) {
            entries.clear();
            nextEviction = 0;
            version = current;
        }
        return entries;
    }

    // Whether an answer read from the database between the versions before and after may be
    // remembered: neither moved from the entries' version, and a write was not under way.
    bool mayRemember(uint64_t before, uint64_t after) const {
        return before == after && before != noVersion && before == version;
    }

    // Remembers the entry; the caller asked mayRemember first.
    void add(Entry entry) {
        if (entries.size() < CAPACITY) {
            entries.push_back(std::move(entry));
        } else {
            entries[nextEviction] = std::move(entry);
            nextEviction = (nextEviction + 1) % CAPACITY;
        }
    }

private:
    const uint64_t noVersion;
    uint64_t version;
    std::vector<Entry> entries;
    size_t nextEviction = 0;
};

} // namespace krel_platform
