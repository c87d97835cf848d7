// The event kind of the kernel-object stand-in.
#pragma once

#include <memory>
#include <vector>

#include "platform/WinHandles.h"

namespace krel_platform {

class EventPublisher;

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

    // Makes the event's state changes reach the peers of the name this process holds for it.
    void attachPublisher(std::unique_ptr<EventPublisher> publisher);
    EventPublisher* getPublisher() const { return publisher.get(); }
    bool isManualReset() const { return manualReset; }

private:
    KernelEvent(int descriptor, bool manualReset);
    void setState(bool newState);

    int descriptor;
    bool manualReset;
    bool signaled;
    std::vector<WaitContext*> waiters;
    std::unique_ptr<EventPublisher> publisher;
};

} // namespace krel_platform
