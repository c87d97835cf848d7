#include "platform/RegistryKeyCache.h"

#include "platform/WinError.h"

namespace krel_platform {

bool RegistryKeyCache::answer(uint64_t current, int64_t base, std::wstring_view path, int64_t& key,
                              LSTATUS& status) {
    for (const Entry& entry : entries.under(current)) {
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
    if (entries.mayRemember(before, after)) {
        entries.add(Entry{base, std::wstring(path), status, key});
    }
}

} // namespace krel_platform
