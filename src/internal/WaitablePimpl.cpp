#include "internal/WaitablePimpl.h"

#include "internal/MutexGuard.h"
#include "thread/Subscription.h"
#include "thread/SubscriptionCondition.h"

using krel_std::Subscription;

namespace krel_std_internal {

WaitablePimpl::WaitablePimpl(bool autoReset, bool signaled)
    : state(signaled ? SIGNALED : 0), autoReset(autoReset) {
    pthread_mutex_init(&mutex, nullptr);
}

WaitablePimpl::~WaitablePimpl() {
    pthread_mutex_destroy(&mutex);
}

// The test of the flag and the listing are one change of the state word: a signal without the
// mutex either sets the flag before it (and the subscription consumes it) or finds the
// subscription counted and delivers under the mutex.
void WaitablePimpl::subscribe(Subscription& subscription) {
    MutexGuard guard(mutex);
    uint32_t current = state.load(std::memory_order_acquire);
    while (true) {
        if ((current & DESTROYED) != 0) {
            subscription.mark(Subscription::DESTROYED, false);
            return;
        }
        bool consume = (current & SIGNALED) != 0 && isAutoReset();
        uint32_t next = (current & SIGNALED) != 0 ? (consume ? current & ~SIGNALED : current)
                                                  : current + WAITER;
        if (state.compare_exchange_weak(current, next, std::memory_order_acq_rel,
                                        std::memory_order_acquire)) {
            if ((current & SIGNALED) != 0) {
                subscription.mark(Subscription::SIGNALED, consume);
            } else {
                subscribers.push_back(&subscription);
            }
            return;
        }
    }
}

Subscription::SubscriptionState WaitablePimpl::takeSignal() {
    uint32_t current = state.load(std::memory_order_acquire);
    while (true) {
        if ((current & DESTROYED) != 0) {
            return Subscription::DESTROYED;
        }
        if ((current & SIGNALED) == 0) {
            return Subscription::NOT_SIGNALED;
        }
        if (!isAutoReset() ||
            state.compare_exchange_weak(current, current & ~SIGNALED, std::memory_order_acq_rel,
                                        std::memory_order_acquire)) {
            return Subscription::SIGNALED;
        }
    }
}

void WaitablePimpl::unsubscribe(Subscription& subscription) {
    MutexGuard guard(mutex);
    for (auto entry = subscribers.begin(); entry != subscribers.end();) {
        if (*entry == &subscription) {
            entry = subscribers.erase(entry);
            state.fetch_sub(WAITER, std::memory_order_relaxed);
        } else {
            ++entry;
        }
    }
}

// Each subscription is marked under its own condition's mutex alone, one at a time, so two
// signallers never hold two conditions at once and cannot block each other. The subscriber may
// have left between the signaller's look at the count and the mutex; the signal then stays on
// the object. The one waiter that an auto-reset signal releases is woken after the object's
// mutex is let go, so that it does not wake only to wait for that mutex when it withdraws.
void WaitablePimpl::deliverSignal() {
    boost::shared_ptr<krel_std::SubscriptionCondition> toWake;
    {
        MutexGuard guard(mutex);
        if ((state.load(std::memory_order_acquire) & DESTROYED) != 0) {
            return;
        }
        if (!isAutoReset()) {
            state.fetch_or(SIGNALED, std::memory_order_release);
            for (Subscription* subscription : subscribers) {
                subscription->mark(Subscription::SIGNALED, false);
            }
            state.fetch_sub(static_cast<uint32_t>(subscribers.size()) * WAITER,
                            std::memory_order_relaxed);
            subscribers.clear();
        } else if (!subscribers.empty()) {
            Subscription* first = subscribers.front();
            subscribers.pop_front();
            state.fetch_sub(WAITER, std::memory_order_release);
            toWake = first->markWithoutWaking(Subscription::SIGNALED, true);
        } else {
            state.fetch_or(SIGNALED, std::memory_order_release);
        }
    }
    if (toWake) {
        toWake->signal();
    }
}

void WaitablePimpl::destroy() {
    MutexGuard guard(mutex);
    state.fetch_or(DESTROYED, std::memory_order_acq_rel);
    for (Subscription* subscription : subscribers) {
        subscription->mark(Subscription::DESTROYED, false);
    }
    state.fetch_sub(static_cast<uint32_t>(subscribers.size()) * WAITER, std::memory_order_relaxed);
    subscribers.clear();
}

void WaitablePimpl::setSignaled(bool value) {
    if (value) {
        state.fetch_or(SIGNALED, std::memory_order_release);
    } else {
        state.fetch_and(~SIGNALED, std::memory_order_acq_rel);
    }
}

} // namespace krel_std_internal
