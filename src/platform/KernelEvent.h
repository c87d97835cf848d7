// The event kind of the kernel-object stand-in.
#pragma once

#include "platform/WinHandles.h"

#include <memory>
#include <vector>

namespace krel_platform {

// An event on an eventfd that is readable exactly while the event is signalled; the reset mode
// is kept here. Every operation is called with kernelStateMutex() held.
class KernelEvent : public KernelObject {
public:
    // Empty when no descriptor can be made.
    static std::shared_ptr<KernelEvent> create(bool manualReset, bool initialState);
    ~KernelEvent() override;

    int waitDescriptor() const override { return descriptor; }
    bool isSignaledFor(DWORD threadId) const override;
    void acquire(DWORD threadId) override;
    void addWaiter(WaitContext& context) override;
    void removeWaiter(WaitContext& context) override;

    void set();
    void reset();
    // Releases the threads waiting now (a manual-reset event) or the earliest of them (an
    // auto-reset event) and leaves the event not signalled.
    void pulse();

private:
    KernelEvent(int descriptor, bool manualReset);
    void setState(bool newState);

    int descriptor;
    bool manualReset;
    bool signaled;
    std::vector<WaitContext*> waiters;
};

} // namespace krel_platform
