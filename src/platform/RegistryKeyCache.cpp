#include "RegistryKeyCache.h"

#include "platform/WinError.h"

namespace krel_platform {

bool RegistryKeyCache::answer(uint64_t current, int64_t base, std::wstring_view path, int64_t& key,
                              LSTATUS& status) {
    if (current != entriesVersion) {
        entries.clear();
        nextEviction = 0;
        entriesVersion = current;
        return false;
    }
    for (const Entry& entry : entries) {
        if (entry.base == base && entry.path == path) {
            status = entry.status;
            if (status == ERROR_SUCCESS) {
                key = entry.key;
            }
            return true;
        }
    }
    return false;
}

void RegistryKeyCache::remember(uint64_t before, uint64_t after, int64_t base,
                                std::wstring_view path, LSTATUS status, int64_t key) {
    if (before != after || before == RegistryValueCache::noVersion || before != entriesVersion) {
        return;
    }
    Entry entry{base, std::wstring(path), status, key};
    if (entries.size() < capacity) {
        entries.push_back(std::move(entry));
    } else {
        entries[nextEviction] = std::move(entry);
        nextEviction = (nextEviction + 1) % capacity;
    }
}

} // namespace krel_platform
