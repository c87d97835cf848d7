// Value reads of one hive served from memory while no process has written the hive since.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RegistryCacheEntries.h"
#include "platform/WinTypes.h"

namespace krel_platform {

class RegistryValueBuffer;

// Every process that opens the hive maps the first word of its doorbell file: the hive's write
// version. A writer makes it odd once it holds the database's write lock and even again after
// its commit or rollback, always to a new value; a writer that dies in between leaves it odd
// until the next write. A read remembers its answer under the version it saw before and after
// reading the database, when that version was even and unchanged; the answer stays good while
// the version is. A write that has returned has changed the version, so no read after it gets
// an older answer. Used with the hive's mutex held.
class RegistryValueCache {
public:
    // A version that never matches: the cache is off.
    static constexpr uint64_t NO_VERSION = 1;

    RegistryValueCache() = default;
    RegistryValueCache(const RegistryValueCache&) = delete;
    RegistryValueCache& operator=(const RegistryValueCache&) = delete;
    ~RegistryValueCache();

    // Maps the version word of the doorbell file open on the descriptor (for writing when
    // writable); false without a mapping, when the cache stays off and writes mark nothing.
    bool attach(int descriptor, bool writable);

    // Marks a write under way and answers the mark for finishWrite. A write of this process
    // that starts at the accounted version keeps it accounted, under way and once finished:
    // such a write announces its own changes.
    uint64_t startWrite();
    void finishWrite(uint64_t mark);

    // The version now; NO_VERSION while a write is under way or without a mapping.
    uint64_t version() const;

    // For the notifier thread, without the hive's mutex. Whether the hive may have changes that
    // this process's notifier has not accounted for: true unless the version, under way or
    // not, is the accounted one, which it stays while only this process writes. current
    // receives the version now.
    bool movedSinceAccounted(uint64_t& current) const;
    // Accounts for every change up to the version, read before the changes were looked at.
    void account(uint64_t current);
    // Delivers the remembered answer for the value and answers true, or false when the
    // version has moved or the value was not read under it. The value is named by its folded
    // name, or by its name spelled exactly as the read that remembered it spelled it, which
    // needs no conversion or folding of the name.
    bool answer(uint64_t current, int64_t key, const std::string& folded,
                const RegistryValueBuffer& buffer, LSTATUS& status);
    bool answer(uint64_t current, int64_t key, std::wstring_view spelling,
                const RegistryValueBuffer& buffer, LSTATUS& status);
    // Remembers the answer read from the database between the versions before and after, for
    // the name as the reader spelled it and as folded.
    void remember(uint64_t before, uint64_t after, int64_t key, std::wstring_view spelling,
                  const std::string& folded, LSTATUS status, DWORD type, const void* data,
                  size_t size);

private:
    struct Entry {
        int64_t key;
        std::wstring spelling;
        std::string folded;
        LSTATUS status;
        DWORD type;
        std::string data;
    };

    static LSTATUS deliver(const Entry& entry, const RegistryValueBuffer& buffer);

    std::atomic<uint64_t>* shared = nullptr;
    // The version up to which every change is known to this process's notifier.
    static constexpr uint64_t NOTHING_ACCOUNTED = ~uint64_t(0);
    std::atomic<uint64_t> accounted{NOTHING_ACCOUNTED};
    RegistryCacheEntries<Entry> entries{NO_VERSION};
};

} // namespace krel_platform
