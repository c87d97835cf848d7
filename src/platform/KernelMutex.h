// The mutex kind of the kernel-object stand-in.
#pragma once

#include <memory>

#include "platform/WinHandles.h"

namespace krel_platform {

// A mutex owned by one thread at a time, recursively; its eventfd is readable exactly while no
// thread owns it. A thread that ends while it owns the mutex abandons it: the mutex becomes
// free, and the next wait that takes it reports it abandoned, as Windows does, instead of
// waiting for a release that never comes (or handing it to a new thread that reuses the id).
// Every operation is called with kernelStateMutex() held.
class KernelMutex : public KernelObject, public std::enable_shared_from_this<KernelMutex> {
public:
    // Empty when no descriptor can be made.
    static std::shared_ptr<KernelMutex> create(bool initiallyOwned);
    ~KernelMutex() override;

    int waitDescriptor() const override { return descriptor; }
    bool isSignaledFor(DWORD threadId) const override;
    bool isAbandoned() const override { return abandoned; }
    // Called on the acquiring thread, whose end abandons the mutex if it still owns it.
    void acquire(DWORD threadId) override;

    // False when the thread does not own the mutex.
    bool release(DWORD threadId);
    bool isOwnedBy(DWORD threadId) const { return count > 0 && owner == threadId; }
    // Frees the mutex if the thread still owns it, and marks it abandoned.
    void abandon(DWORD threadId);

private:
    explicit KernelMutex(int descriptor);
    void makeFree();

    int descriptor;
    DWORD owner;
    DWORD count;
    bool abandoned;
};

// Abandons the kernel mutexes that the calling thread still owns and lets go of its list of
// them. A thread that ends without calling it has the same done at its exit.
void abandonOwnedMutexes();

} // namespace krel_platform
