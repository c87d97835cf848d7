#include "platform/KernelEvent.h"

#include <algorithm>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/EventNameServer.h"

namespace krel_platform {

std::shared_ptr<KernelEvent> KernelEvent::create(bool manualReset, bool initialState) {
    int descriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (descriptor < 0) {
        return nullptr;
    }
    std::shared_ptr<KernelEvent> event(new KernelEvent(descriptor, manualReset));
    event->setState(initialState);
    return event;
}

KernelEvent::KernelEvent(int descriptor, bool manualReset)
    : descriptor(descriptor), manualReset(manualReset), signaled(false) {}

// The name is withdrawn before the event itself goes.
KernelEvent::~KernelEvent() {
    publisher.reset();
    close(descriptor);
}

void KernelEvent::attachPublisher(std::unique_ptr<EventPublisher> newPublisher) {
    publisher = std::move(newPublisher);
}

bool KernelEvent::isSignaledFor(DWORD) const {
    return signaled;
}

void KernelEvent::acquire(DWORD) {
    if (!manualReset) {
        setState(false);
    }
}

void KernelEvent::addWaiter(WaitContext& context) {
    waiters.push_back(&context);
}

void KernelEvent::removeWaiter(WaitContext& context) {
    waiters.erase(std::remove(waiters.begin(), waiters.end(), &context), waiters.end());
}

void KernelEvent::set() {
    setState(true);
}

void KernelEvent::reset() {
    setState(false);
}

void KernelEvent::pulse() {
    for (WaitContext* waiter : waiters) {
        waiter->markReleased(this);
        if (!manualReset) {
            break;
        }
    }
    setState(false);
}

void KernelEvent::setState(bool newState) {
    if (newState == signaled) {
        return;
    }
    signaled = newState;
    eventfd_t value = 0;
    if (signaled) {
        eventfd_write(descriptor, 1);
    } else {
        eventfd_read(descriptor, &value);
    }
    if (publisher) {
        publisher->publish(signaled);
    }
}

} // namespace krel_platform
