#include "KernelMutex.h"

#include "platform/WinBase.h"

#include <algorithm>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace krel_platform {

namespace {

// The mutexes the calling thread has taken; those it still owns when it ends are abandoned.
class OwnedMutexes {
public:
    ~OwnedMutexes() {
        std::lock_guard<std::mutex> guard(kernelStateMutex());
        for (const std::weak_ptr<KernelMutex>& entry : mutexes) {
            if (std::shared_ptr<KernelMutex> mutex = entry.lock()) {
                mutex->abandon(threadId);
            }
        }
    }

    // Keeps the list to the mutexes the thread still owns, then adds one.
    void add(const std::shared_ptr<KernelMutex>& mutex, DWORD owner) {
        threadId = owner;
        mutexes.erase(std::remove_if(mutexes.begin(), mutexes.end(),
                                     [owner](const std::weak_ptr<KernelMutex>& entry) {
                                         std::shared_ptr<KernelMutex> held = entry.lock();
                                         return !held || !held->isOwnedBy(owner);
                                     }),
                      mutexes.end());
        mutexes.push_back(mutex);
    }

private:
    DWORD threadId = 0;
    std::vector<std::weak_ptr<KernelMutex>> mutexes;
};

OwnedMutexes& ownedMutexes() {
    thread_local OwnedMutexes owned;
    return owned;
}

} // namespace

std::shared_ptr<KernelMutex> KernelMutex::create(bool initiallyOwned) {
    int descriptor = eventfd(1, EFD_CLOEXEC | EFD_NONBLOCK);
    if (descriptor < 0) {
        return nullptr;
    }
    std::shared_ptr<KernelMutex> mutex(new KernelMutex(descriptor));
    if (initiallyOwned) {
        std::lock_guard<std::mutex> guard(kernelStateMutex());
        mutex->acquire(GetCurrentThreadId());
    }
    return mutex;
}

KernelMutex::KernelMutex(int descriptor)
    : descriptor(descriptor), owner(0), count(0), abandoned(false) {}

KernelMutex::~KernelMutex() {
    close(descriptor);
}

bool KernelMutex::isSignaledFor(DWORD threadId) const {
    return count == 0 || owner == threadId;
}

void KernelMutex::acquire(DWORD threadId) {
    if (count == 0) {
        eventfd_t value = 0;
        eventfd_read(descriptor, &value);
        owner = threadId;
        abandoned = false;
        ownedMutexes().add(shared_from_this(), threadId);
    }
    ++count;
}

bool KernelMutex::release(DWORD threadId) {
    if (!isOwnedBy(threadId)) {
        return false;
    }
    if (--count == 0) {
        makeFree();
    }
    return true;
}

void KernelMutex::abandon(DWORD threadId) {
    if (isOwnedBy(threadId)) {
        count = 0;
        abandoned = true;
        makeFree();
    }
}

void KernelMutex::makeFree() {
    owner = 0;
    eventfd_write(descriptor, 1);
}

} // namespace krel_platform
