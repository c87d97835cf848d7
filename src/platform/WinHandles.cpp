#include "platform/WinHandles.h"

#include "CancellationOff.h"
#include "platform/WinBase.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <sys/eventfd.h>
#include <unistd.h>

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

// The calling thread's wake descriptor, made on first use and closed when the thread ends.
class ThreadWakeDescriptor {
public:
    ThreadWakeDescriptor() : descriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~ThreadWakeDescriptor() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
    int get() const { return descriptor; }

private:
    int descriptor;
};

int threadWakeDescriptor() {
    thread_local ThreadWakeDescriptor descriptor;
    return descriptor.get();
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

std::mutex& kernelStateMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

} // namespace krel_platform
