#pragma once

#include "base/Object.h"

#include <boost/shared_ptr.hpp>

#include <atomic>

namespace krel_std_internal {
class WaitablePimpl;
} // namespace krel_std_internal

namespace krel_std {

class SubscriptionCondition;
class TimeSpec;
class Waitable;

// One waiting thread's registration on one Waitable. The state is written by the signaller
// while it holds the subscription's condition mutex and read by the waiter under that mutex.
// The subscription keeps the object's implementation alive, so it can unsubscribe safely even
// when the object itself has been destroyed meanwhile.
class Subscription : public Object {
public:
    enum SubscriptionState { NOT_SIGNALED = 0, SIGNALED = 1, DESTROYED = 2 };

    // Subscribes at once; a signalled object marks the subscription signalled immediately.
    Subscription(boost::shared_ptr<SubscriptionCondition>& condition, Waitable& waitable);
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    // Unsubscribes; an auto-reset signal this subscription consumed but that its wait did not
    // keep (see keepSignal) is handed back to the object, so no signal is ever lost.
    ~Subscription() override;

    std::wstring toString() const override;

    SubscriptionState getState() const;
    void setState(SubscriptionState state);

    // Marks the consumed signal as taken by the wait (it is reported to the caller).
    void keepSignal();

    bool wait(const TimeSpec& deadline);
    void lock();
    void unlock();
    void signal();

private:
    friend class krel_std_internal::WaitablePimpl;

    // Called by the object under its own mutex: sets the state under the condition's mutex and
    // wakes the waiter; consumed tells whether an auto-reset signal went to this subscription.
    void mark(SubscriptionState state, bool consumed);

    boost::shared_ptr<SubscriptionCondition> condition;
    std::atomic<int> state;
    boost::shared_ptr<krel_std_internal::WaitablePimpl> waitable;
    bool consumed;
    bool kept;
};

} // namespace krel_std
