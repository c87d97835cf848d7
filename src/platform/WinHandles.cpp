#include "platform/WinHandles.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/CancellationOff.h"
#include "platform/ThreadExitKey.h"
#include "platform/WinBase.h"

namespace {

// Handle values are multiples of four, as Windows makes them, and never reused.
class HandleTable {
public:
    HANDLE insert(const std::shared_ptr<krel_platform::KernelObject>& object) {
        std::lock_guard<std::mutex> guard(mutex);
        nextValue += 4;
        entries[nextValue] = object;
        return reinterpret_cast<HANDLE>(nextValue);
    }

    std::shared_ptr<krel_platform::KernelObject> find(HANDLE handle) {
        std::lock_guard<std::mutex> guard(mutex);
        auto entry = entries.find(reinterpret_cast<uintptr_t>(handle));
        return entry == entries.end() ? nullptr : entry->second;
    }

    // The removed object is released after the table's mutex, so that an object's destructor
    // may use the table.
    bool remove(HANDLE handle) {
        std::shared_ptr<krel_platform::KernelObject> removed;
        std::lock_guard<std::mutex> guard(mutex);
        auto entry = entries.find(reinterpret_cast<uintptr_t>(handle));
        if (entry == entries.end()) {
            return false;
        }
        removed.swap(entry->second);
        entries.erase(entry);
        return true;
    }

private:
    std::mutex mutex;
    uintptr_t nextValue = 0;
    std::map<uintptr_t, std::shared_ptr<krel_platform::KernelObject>> entries;
};

HandleTable& handleTable() {
    static HandleTable& table = *new HandleTable;
    return table;
}

// The calling thread's wake descriptor, made on first use; -1 when none could be made. Closed
// when the thread ends, or earlier by releaseThreadWakeDescriptor.
thread_local int wakeDescriptor = -1;

// The value attached for a descriptor is the descriptor plus one, so descriptor 0 is not null.
void closeWakeDescriptorAtExit(void* value) {
    close(static_cast<int>(reinterpret_cast<intptr_t>(value) - 1));
}

krel_platform::ThreadExitKey& wakeDescriptorKey() {
    static krel_platform::ThreadExitKey& key =
        *new krel_platform::ThreadExitKey(&closeWakeDescriptorAtExit);
    return key;
}

// A descriptor that cannot be attached is kept all the same: a wait without one would miss a
// pulse. A library thread still closes it when its run ends.
int threadWakeDescriptor() {
    if (wakeDescriptor < 0) {
        wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeDescriptor >= 0) {
            wakeDescriptorKey().attach(
                reinterpret_cast<void*>(static_cast<intptr_t>(wakeDescriptor) + 1));
        }
    }
    return wakeDescriptor;
}

} // namespace

BOOL CloseHandle(HANDLE object) {
    krel_platform::CancellationOff cancellationOff;
    if (!krel_platform::removeHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace krel_platform {

WaitContext::WaitContext() : threadId(GetCurrentThreadId()), descriptor(threadWakeDescriptor()) {}

void WaitContext::drain() const {
    eventfd_t value = 0;
    eventfd_read(descriptor, &value);
}

void WaitContext::wake() const {
    eventfd_write(descriptor, 1);
}

void WaitContext::markReleased(const KernelObject* object) {
    released.push_back(object);
    eventfd_write(descriptor, 1);
}

bool WaitContext::wasReleased(const KernelObject* object) const {
    return std::find(released.begin(), released.end(), object) != released.end();
}

KernelObject::~KernelObject() {}

int KernelObject::waitDescriptor() const {
    return -1;
}

bool KernelObject::isSignaledFor(DWORD) const {
    return false;
}

bool KernelObject::isAbandoned() const {
    return false;
}

void KernelObject::acquire(DWORD) {}

void KernelObject::addWaiter(WaitContext&) {}

void KernelObject::removeWaiter(WaitContext&) {}

HANDLE insertHandle(const std::shared_ptr<KernelObject>& object) {
    return handleTable().insert(object);
}

std::shared_ptr<KernelObject> referenceHandle(HANDLE handle) {
    return handleTable().find(handle);
}

bool removeHandle(HANDLE handle) {
    return handleTable().remove(handle);
}

void releaseThreadWakeDescriptor() {
    CancellationOff cancellationOff;
    if (wakeDescriptor >= 0) {
        wakeDescriptorKey().detach();
        close(wakeDescriptor);
        wakeDescriptor = -1;
    }
}

std::mutex& kernelStateMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

} // namespace krel_platform
