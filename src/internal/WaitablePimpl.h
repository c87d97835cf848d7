#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <pthread.h>

#include "thread/Subscription.h"

namespace krel_std_internal {

// The state of a Waitable: its flags and the subscriptions waiting on it. The signalled and
// destroyed flags and the number of listed subscriptions share one atomic word, so a signal that
// finds nobody waiting needs no mutex. The subscriber list, and every change of the count, is
// under the mutex. Subscriptions hold this implementation through shared pointers, so it
// outlives its Waitable until the last subscription has unsubscribed.
class WaitablePimpl {
public:
    WaitablePimpl(bool autoReset, bool signaled);
    WaitablePimpl(const WaitablePimpl&) = delete;
    WaitablePimpl& operator=(const WaitablePimpl&) = delete;
    ~WaitablePimpl();

    // A signalled object marks the subscription at once (an auto-reset one consumes its signal);
    // otherwise the subscription is listed until the object signals it.
    void subscribe(krel_std::Subscription& subscription);
    void unsubscribe(krel_std::Subscription& subscription);
    // Manual-reset: becomes signalled and marks every listed subscription. Auto-reset: marks the
    // earliest listed subscription, or becomes signalled when none waits. Does nothing once the
    // object is destroyed. With nobody waiting the flag is set without the mutex; a signal of an
    // object that is already signalled and has no waiter changes nothing.
    inline void signal();
    // What a subscription made now would find, without making one: SIGNALED when the object is
    // signalled (an auto-reset object gives its signal to the caller), DESTROYED once it is
    // destroyed, else NOT_SIGNALED.
    krel_std::Subscription::SubscriptionState takeSignal();
    // Marks every listed subscription destroyed; later signals do nothing.
    void destroy();

    bool isSignaled() const { return (state.load(std::memory_order_acquire) & SIGNALED) != 0; }
    void setSignaled(bool value);
    bool isAutoReset() const { return autoReset.load(std::memory_order_relaxed); }
    void setAutoReset(bool value) { autoReset.store(value, std::memory_order_relaxed); }

private:
    static constexpr uint32_t SIGNALED = 1;
    static constexpr uint32_t DESTROYED = 2;
    // One listed subscription in the state word.
    static constexpr uint32_t WAITER = 4;

    // The signal for an object with listed subscriptions, under the mutex.
    void deliverSignal();

    pthread_mutex_t mutex;
    std::list<krel_std::Subscription*> subscribers;
    std::atomic<uint32_t> state;
    std::atomic<bool> autoReset;
};

void WaitablePimpl::signal() {
    uint32_t current = state.load(std::memory_order_acquire);
    while (current < WAITER) {
        if ((current & (SIGNALED | DESTROYED)) != 0) {
            return;
        }
        if (state.compare_exchange_weak(current, current | SIGNALED, std::memory_order_release,
                                        std::memory_order_acquire)) {
            return;
        }
    }
    deliverSignal();
}

} // namespace krel_std_internal
