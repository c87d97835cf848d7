#include "internal/WaitablePimpl.h"

#include "internal/MutexGuard.h"
#include "thread/Subscription.h"

using krel_std::Subscription;

namespace krel_std_internal {

WaitablePimpl::WaitablePimpl(bool autoReset, bool signaled)
    : signaled(signaled), autoReset(autoReset), destroyed(false) {
    pthread_mutex_init(&mutex, nullptr);
}

WaitablePimpl::~WaitablePimpl() {
    pthread_mutex_destroy(&mutex);
}

void WaitablePimpl::subscribe(Subscription& subscription) {
    MutexGuard guard(mutex);
    if (destroyed) {
        subscription.mark(Subscription::DESTROYED, false);
    } else if (signaled) {
        subscription.mark(Subscription::SIGNALED, autoReset);
        signaled = !autoReset;
    } else {
        subscribers.push_back(&subscription);
    }
}

void WaitablePimpl::unsubscribe(Subscription& subscription) {
    MutexGuard guard(mutex);
    subscribers.remove(&subscription);
}

// Each subscription is marked under its own condition's mutex alone, one at a time, so two
// signallers never hold two conditions at once and cannot block each other.
void WaitablePimpl::signal() {
    MutexGuard guard(mutex);
    if (destroyed) {
        return;
    }
    if (!autoReset) {
        signaled = true;
        for (Subscription* subscription : subscribers) {
            subscription->mark(Subscription::SIGNALED, false);
        }
        subscribers.clear();
    } else if (!subscribers.empty()) {
        Subscription* first = subscribers.front();
        subscribers.pop_front();
        first->mark(Subscription::SIGNALED, true);
    } else {
        signaled = true;
    }
}

void WaitablePimpl::destroy() {
    MutexGuard guard(mutex);
    destroyed = true;
    for (Subscription* subscription : subscribers) {
        subscription->mark(Subscription::DESTROYED, false);
    }
    subscribers.clear();
}

bool WaitablePimpl::isSignaled() {
    MutexGuard guard(mutex);
    return signaled;
}

void WaitablePimpl::setSignaled(bool value) {
    MutexGuard guard(mutex);
    signaled = value;
}

bool WaitablePimpl::isAutoReset() {
    MutexGuard guard(mutex);
    return autoReset;
}

void WaitablePimpl::setAutoReset(bool value) {
    MutexGuard guard(mutex);
    autoReset = value;
}

} // namespace krel_std_internal
