#include "platform/KernelMutex.h"

#include <algorithm>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

#include "platform/CancellationOff.h"
#include "platform/ThreadExitKey.h"
#include "platform/WinBase.h"

namespace krel_platform {

namespace {

// The mutexes one thread has taken; those it still owns when it ends are abandoned.
class OwnedMutexes {
public:
    // Called with kernelStateMutex() held.
    void abandonAll() {
        for (const std::weak_ptr<KernelMutex>& entry : mutexes) {
            if (std::shared_ptr<KernelMutex> mutex = entry.lock()) {
                mutex->abandon(threadId);
            }
        }
        mutexes.clear();
    }

    // Keeps the list to the mutexes the thread still owns, then adds one. Throws
    // std::bad_alloc, having changed nothing, when the list cannot grow.
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

// The calling thread's list, made when it first takes a mutex and let go when it ends.
thread_local OwnedMutexes* ownedMutexes = nullptr;

void abandonAtExit(void* value) {
    std::unique_ptr<OwnedMutexes> owned(static_cast<OwnedMutexes*>(value));
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    owned->abandonAll();
}

ThreadExitKey& ownedMutexesKey() {
    static ThreadExitKey& key = *new ThreadExitKey(&abandonAtExit);
    return key;
}

// A list that cannot be attached is kept all the same; a library thread still abandons its
// mutexes when its run ends.
OwnedMutexes& threadOwnedMutexes() {
    if (!ownedMutexes) {
        ownedMutexes = new OwnedMutexes;
        ownedMutexesKey().attach(ownedMutexes);
    }
    return *ownedMutexes;
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
        threadOwnedMutexes().add(shared_from_this(), threadId);
        eventfd_t value = 0;
        eventfd_read(descriptor, &value);
        owner = threadId;
        abandoned = false;
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

void abandonOwnedMutexes() {
    CancellationOff cancellationOff;
    if (!ownedMutexes) {
        return;
    }
    std::unique_ptr<OwnedMutexes> owned(ownedMutexes);
    ownedMutexes = nullptr;
    ownedMutexesKey().detach();
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    owned->abandonAll();
}

void KernelMutex::makeFree() {
    owner = 0;
    eventfd_write(descriptor, 1);
}

} // namespace krel_platform
