#include "platform/RegistryValueCache.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegistryValueBuffer.h"
#include "platform/WinError.h"

namespace krel_platform {

namespace {

// The doorbell file is one page: the version word first, the ring byte further on.
constexpr size_t DOORBELL_SIZE = 4096;

static_assert(std::atomic<uint64_t>::is_always_lock_free,
              "the version word is shared between processes");

} // namespace

RegistryValueCache::~RegistryValueCache() {
    if (shared != nullptr) {
        munmap(shared, DOORBELL_SIZE);
    }
}

// A writer grows a new doorbell file to its page; a reader maps only a file already grown, so
// the word it reads always lies within the file.
bool RegistryValueCache::attach(int descriptor, bool writable) {
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0) {
        return false;
    }
    if (status.st_size < static_cast<off_t>(DOORBELL_SIZE) &&
        (!writable || ftruncate(descriptor, DOORBELL_SIZE) != 0)) {
        return false;
    }
    void* mapped = mmap(nullptr, DOORBELL_SIZE, writable ? PROT_READ | PROT_WRITE : PROT_READ,
                        MAP_SHARED, descriptor, 0);
    if (mapped == MAP_FAILED) {
        return false;
    }
    shared = static_cast<std::atomic<uint64_t>*>(mapped);
    return true;
}

// Writers take turns until their write is finished, so the versions only grow, and a write
// that starts from the accounted version follows it directly.
uint64_t RegistryValueCache::startWrite() {
    if (shared == nullptr) {
        return 0;
    }
    uint64_t seen = shared->load();
    const uint64_t mark = seen % 2 == 0 ? seen + 1 : seen + 2;
    shared->store(mark);
    accounted.compare_exchange_strong(seen, mark);
    return mark;
}

void RegistryValueCache::finishWrite(uint64_t mark) {
    if (shared != nullptr) {
        uint64_t started = mark;
        accounted.compare_exchange_strong(started, mark + 1);
        shared->store(mark + 1);
    }
}

bool RegistryValueCache::movedSinceAccounted(uint64_t& current) const {
    if (shared == nullptr) {
        current = NOTHING_ACCOUNTED;
        return true;
    }
    current = shared->load();
    return current != accounted.load();
}

void RegistryValueCache::account(uint64_t current) {
    if (current == NOTHING_ACCOUNTED) {
        return;
    }
    uint64_t known = accounted.load();
    while ((known == NOTHING_ACCOUNTED || known < current) &&
           !accounted.compare_exchange_weak(known, current)) {
    }
}

uint64_t RegistryValueCache::version() const {
    if (shared == nullptr) {
        return NO_VERSION;
    }
    const uint64_t current = shared->load();
    return current % 2 == 0 ? current : NO_VERSION;
}

LSTATUS RegistryValueCache::deliver(const Entry& entry, const RegistryValueBuffer& buffer) {
    return entry.status == ERROR_SUCCESS
               ? buffer.deliver(entry.type, entry.data.data(), entry.data.size())
               : entry.status;
}

bool RegistryValueCache::answer(uint64_t current, int64_t key, const std::string& folded,
                                const RegistryValueBuffer& buffer, LSTATUS& status) {
    for (const Entry& entry : entries.under(current)) {
        if (entry.key == key && entry.folded == folded) {
            status = deliver(entry, buffer);
            return true;
        }
    }
    return false;
}

bool RegistryValueCache::answer(uint64_t current, int64_t key, std::wstring_view spelling,
                                const RegistryValueBuffer& buffer, LSTATUS& status) {
    for (const Entry& entry : entries.under(current)) {
        if (entry.key == key && entry.spelling == spelling) {
            status = deliver(entry, buffer);
            return true;
        }
    }
    return false;
}

void RegistryValueCache::remember(uint64_t before, uint64_t after, int64_t key,
                                  std::wstring_view spelling, const std::string& folded,
                                  LSTATUS status, DWORD type, const void* data, size_t size) {
    if (entries.mayRemember(before, after)) {
        entries.add(Entry{key, std::wstring(spelling), folded, status, type,
                          std::string(static_cast<const char*>(data), data == nullptr ? 0 : size)});
    }
}

} // namespace krel_platform
