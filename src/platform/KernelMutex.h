// The mutex kind of the kernel-object stand-in.
#pragma once

#include "platform/WinHandles.h"

#include <memory>

namespace krel_platform {

// A mutex owned by one thread at a time, recursively; its eventfd is readable exactly while no
// thread owns it. Every operation is called with kernelStateMutex() held.
class KernelMutex : public KernelObject {
public:
    // Empty when no descriptor can be made.
    static std::shared_ptr<KernelMutex> create(bool initiallyOwned);
    ~KernelMutex() override;

    int waitDescriptor() const override { return descriptor; }
    bool isSignaledFor(DWORD threadId) const override;
    void acquire(DWORD threadId) override;

    // False when the thread does not own the mutex.
    bool release(DWORD threadId);

private:
    explicit KernelMutex(int descriptor);

    int descriptor;
    DWORD owner;
    DWORD count;
};

} // namespace krel_platform
