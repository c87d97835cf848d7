#include "platform/HandleWait.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <poll.h>
#include <pthread.h>

namespace krel_platform {

HandleWait::HandleWait(const std::vector<std::shared_ptr<KernelObject>>& objects, bool waitAll)
    : objects(objects), waitAll(waitAll), abandoned(false) {
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    for (const auto& object : objects) {
        object->addWaiter(context);
    }
}

HandleWait::~HandleWait() {
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    for (const auto& object : objects) {
        object->removeWaiter(context);
    }
}

DWORD HandleWait::wait(DWORD milliseconds, int cancelState) {
    typedef std::chrono::steady_clock Clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    context.drain();
    for (;;) {
        std::vector<int> descriptors;
        {
            std::lock_guard<std::mutex> guard(kernelStateMutex());
            int index = decide(descriptors);
            if (index >= 0) {
                return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + static_cast<DWORD>(index);
            }
        }
        int timeout = -1;
        if (milliseconds != INFINITE) {
            Clock::duration remaining = deadline - Clock::now();
            if (remaining <= Clock::duration::zero()) {
                return WAIT_TIMEOUT;
            }
            // Rounded up, so the wait never ends before its time-out; a time-out beyond what
            // poll() takes is slept in parts.
            timeout = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
                std::chrono::ceil<std::chrono::milliseconds>(remaining).count(),
                std::numeric_limits<int>::max()));
        }
        descriptors.push_back(context.wakeDescriptor());
        sleep(descriptors, timeout, cancelState);
        context.drain();
    }
}

int HandleWait::decide(std::vector<int>& descriptors) {
    int index = waitAll ? decideAll(descriptors) : decideAny(descriptors);
    // A pulse releases only the waits that see it at once.
    context.clearReleased();
    return index;
}

int HandleWait::decideAny(std::vector<int>& descriptors) {
    for (size_t index = 0; index < objects.size(); ++index) {
        KernelObject& object = *objects[index];
        if (object.isSignaledFor(context.getThreadId())) {
            abandoned = object.isAbandoned();
            object.acquire(context.getThreadId());
            return static_cast<int>(index);
        }
        if (context.wasReleased(&object)) {
            return static_cast<int>(index);
        }
    }
    for (const auto& object : objects) {
        descriptors.push_back(object->waitDescriptor());
    }
    return -1;
}

int HandleWait::decideAll(std::vector<int>& descriptors) {
    for (const auto& object : objects) {
        if (!isSatisfied(*object)) {
            descriptors.push_back(object->waitDescriptor());
        }
    }
    if (!descriptors.empty()) {
        return -1;
    }
    // Windows answers the index of an abandoned mutex among the objects taken, if any.
    int index = 0;
    for (size_t i = 0; i < objects.size(); ++i) {
        if (!abandoned && objects[i]->isAbandoned()) {
            abandoned = true;
            index = static_cast<int>(i);
        }
        if (objects[i]->isSignaledFor(context.getThreadId())) {
            objects[i]->acquire(context.getThreadId());
        }
    }
    return index;
}

bool HandleWait::isSatisfied(const KernelObject& object) const {
    return object.isSignaledFor(context.getThreadId()) || context.wasReleased(&object);
}

void HandleWait::sleep(const std::vector<int>& descriptors, int timeout, int cancelState) {
    std::vector<pollfd> polled;
    for (int descriptor : descriptors) {
        if (descriptor >= 0) {
            polled.push_back(pollfd{descriptor, POLLIN, 0});
        }
    }
    pthread_setcancelstate(cancelState, nullptr);
    poll(polled.data(), polled.size(), timeout);
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
}

} // namespace krel_platform
