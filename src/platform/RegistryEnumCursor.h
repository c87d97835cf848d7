// Where a listing of a key's values or subkeys through one handle stands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RegistryValueCache.h"
#include "platform/WinTypes.h"

namespace krel_platform {

// A run of the key's entries in listing order from index `first` on, read in one transaction,
// with the stamps it was read under: the hive's write version (NO_VERSION when a write was
// under way or the version moved during the read) and the key's change counter.
//
// While the write version is still the run's, no process has written the hive, so the run
// answers every index it holds, and an index just past a complete run (one that reached the
// key's last entry) has no entry. An index just past an entry of the run continues after that
// entry's place in the order while the entries are known unchanged (for values: the key's
// change counter is still the run's), so a listing by increasing indices reads each entry
// once instead of passing over every entry before it again. Any other index is counted from
// the key's first entry. Used with the hive's mutex held.
class RegistryEnumCursor {
public:
    struct Entry {
        std::wstring name;
        // The entry's place in the listing order: a subkey's folded name; a value's row id.
        std::string folded;
        int64_t row = 0;
        DWORD type = 0;
        std::string data;
    };

    // The run's entry at the index while the version is the run's; null otherwise.
    const Entry* entryAt(int64_t key, DWORD index, uint64_t version) const {
        return holds(key, version) ? entryOfRun(key, index) : nullptr;
    }
    // The run's entry at the index, whatever the version: the answer of the run just read.
    const Entry* entryOfRun(int64_t key, DWORD index) const {
        return filled && key == listed && index >= first && index - first < entries.size()
                   ? &entries[index - first]
                   : nullptr;
    }
    // Whether the run, still current at the version, ended with the key's last entry before
    // the index.
    bool endsBefore(int64_t key, DWORD index, uint64_t version) const {
        return holds(key, version) && complete && index >= first && index - first >= entries.size();
    }
    // The run's entry just before the index, whatever the version; null when it holds none.
    const Entry* entryBefore(int64_t key, DWORD index) const {
        return filled && key == listed && index > first && index - first <= entries.size()
                   ? &entries[index - 1 - first]
                   : nullptr;
    }

    // Takes the run read for the key from index first on.
    void fill(int64_t key, DWORD index, uint64_t readVersion, int64_t readCounter,
              std::vector<Entry> run, bool reachedEnd) {
        filled = true;
        listed = key;
        first = index;
        version = readVersion;
        counter = readCounter;
        entries = std::move(run);
        complete = reachedEnd;
    }

    uint64_t version = 0;
    int64_t counter = 0;
    std::vector<Entry> entries;

private:
    bool holds(int64_t key, uint64_t now) const {
        return filled && key == listed && now == version && now != RegistryValueCache::NO_VERSION;
    }

    bool filled = false;
    bool complete = false;
    int64_t listed = 0;
    DWORD first = 0;
};

} // namespace krel_platform
