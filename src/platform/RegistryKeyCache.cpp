#include "RegistryKeyCache.h"

#include "RegistryValueCache.h"
#include "platform/WinError.h"

#include <cstring>

namespace krel_platform {

namespace {

// The folded '\' (UTF-16 big-endian, as folded names are) ends each element of a path.
const char separator[2] = {0, '\\'};

} // namespace

// FNV-1a over the base and the folded elements, so that most entries that do not match are
// passed over without comparing names.
uint64_t RegistryKeyCache::hashOf(int64_t base, const std::vector<RegistryName>& path) {
    uint64_t hash = 14695981039346656037ull ^ static_cast<uint64_t>(base);
    for (const RegistryName& element : path) {
        for (char byte : element.folded()) {
            hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
        }
        hash = (hash ^ 0x5c) * 1099511628211ull;
    }
    return hash;
}

bool RegistryKeyCache::matches(const Entry& entry, const std::vector<RegistryName>& path) {
    size_t offset = 0;
    for (const RegistryName& element : path) {
        const std::string& folded = element.folded();
        if (entry.folded.size() < offset + folded.size() + sizeof separator ||
            entry.folded.compare(offset, folded.size(), folded) != 0 ||
            std::memcmp(entry.folded.data() + offset + folded.size(), separator,
                        sizeof separator) != 0) {
            return false;
        }
        offset += folded.size() + sizeof separator;
    }
    return offset == entry.folded.size();
}

bool RegistryKeyCache::answer(uint64_t current, int64_t base, const std::vector<RegistryName>& path,
                              int64_t& key, LSTATUS& status) {
    if (current != entriesVersion) {
        entries.clear();
        nextEviction = 0;
        entriesVersion = current;
        return false;
    }
    const uint64_t hash = hashOf(base, path);
    for (const Entry& entry : entries) {
        if (entry.hash == hash && entry.base == base && matches(entry, path)) {
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
                                const std::vector<RegistryName>& path, LSTATUS status,
                                int64_t key) {
    if (before != after || before == RegistryValueCache::noVersion || before != entriesVersion) {
        return;
    }
    Entry entry{base, hashOf(base, path), std::string(), status, key};
    for (const RegistryName& element : path) {
        entry.folded += element.folded();
        entry.folded.append(separator, sizeof separator);
    }
    if (entries.size() < capacity) {
        entries.push_back(std::move(entry));
    } else {
        entries[nextEviction] = std::move(entry);
        nextEviction = (nextEviction + 1) % capacity;
    }
}

} // namespace krel_platform
