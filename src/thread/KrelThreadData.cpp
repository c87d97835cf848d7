#include "thread/KrelThreadData.h"

#include <mutex>

#include "platform/WinTls.h"

namespace KrelStd {

namespace {

// The process-wide slot. Every index is valid, 0 included, so whether one exists is kept
// apart from its value.
struct SharedSlot {
    std::mutex mutex;
    bool created = false;
    DWORD index = 0;
};

SharedSlot& sharedSlot() {
    static SharedSlot& slot = *new SharedSlot;
    return slot;
}

} // namespace

KrelThreadData::KrelThreadData() {}

KrelThreadData::~KrelThreadData() {}

void KrelThreadData::Create() {
    SharedSlot& slot = sharedSlot();
    std::lock_guard<std::mutex> guard(slot.mutex);
    if (slot.created) {
        return;
    }
    DWORD index = TlsAlloc();
    if (index != TLS_OUT_OF_INDEXES) {
        slot.index = index;
        slot.created = true;
    }
}

void KrelThreadData::Destroy() {
    SharedSlot& slot = sharedSlot();
    std::lock_guard<std::mutex> guard(slot.mutex);
    if (slot.created) {
        TlsFree(slot.index);
        slot.created = false;
        slot.index = 0;
    }
}

bool KrelThreadData::Get(void** value) const {
    SharedSlot& slot = sharedSlot();
    std::lock_guard<std::mutex> guard(slot.mutex);
    if (!slot.created) {
        return false;
    }
    *value = TlsGetValue(slot.index);
    return *value != nullptr;
}

bool KrelThreadData::Set(void* value) {
    SharedSlot& slot = sharedSlot();
    std::lock_guard<std::mutex> guard(slot.mutex);
    return slot.created && TlsSetValue(slot.index, value) != FALSE;
}

} // namespace KrelStd
