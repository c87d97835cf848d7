#include "KernelMutex.h"

#include "platform/WinBase.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace krel_platform {

std::shared_ptr<KernelMutex> KernelMutex::create(bool initiallyOwned) {
    int descriptor = eventfd(1, EFD_CLOEXEC | EFD_NONBLOCK);
    if (descriptor < 0) {
        return nullptr;
    }
    std::shared_ptr<KernelMutex> mutex(new KernelMutex(descriptor));
    if (initiallyOwned) {
        mutex->acquire(GetCurrentThreadId());
    }
    return mutex;
}

KernelMutex::KernelMutex(int descriptor) : descriptor(descriptor), owner(0), count(0) {}

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
    }
    ++count;
}

bool KernelMutex::release(DWORD threadId) {
    if (count == 0 || owner != threadId) {
        return false;
    }
    if (--count == 0) {
        owner = 0;
        eventfd_write(descriptor, 1);
    }
    return true;
}

} // namespace krel_platform
