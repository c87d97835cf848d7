// Subscription, one waiting thread's registration on one Waitable.
#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>

#include "base/Object.h"

namespace krel_std_internal {
class WaitablePimpl;
} // namespace krel_std_internal

namespace krel_std {

class Concurrency;
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
    // Unsubscribes. A signal this subscription consumed stays consumed: the object is never
    // signalled again on its behalf.
    ~Subscription() override;

    std::wstring toString() const override;

    SubscriptionState getState() const;
    void setState(SubscriptionState state);

    // Marks the consumed signal as taken by the wait (it is reported to the caller), so the
    // wait does not hand it back when it withdraws the subscription.
    void keepSignal();

    bool wait(const TimeSpec& deadline);
    void lock();
    void unlock();
    void signal();

private:
    friend class Concurrency;
    friend class krel_std_internal::WaitablePimpl;

    // Used by the waits of Concurrency as they end: unsubscribes and hands an auto-reset signal
    // that this subscription consumed, and that the wait did not keep, back to the object.
    void withdraw();

    // Called by the object under its own mutex: sets the state under the condition's mutex and
    // wakes the waiter; consumed tells whether an auto-reset signal went to this subscription.
    void mark(SubscriptionState state, bool consumed);
    // As mark, but leaves the waking to the caller: answers the condition to signal once the
    // caller has let go of the object's mutex.
    boost::shared_ptr<SubscriptionCondition> markWithoutWaking(SubscriptionState state,
                                                               bool consumed);

    boost::shared_ptr<SubscriptionCondition> condition;
    std::atomic<int> state;
    boost::shared_ptr<krel_std_internal::WaitablePimpl> waitable;
    bool consumed;
    bool kept;
};

} // namespace krel_std
