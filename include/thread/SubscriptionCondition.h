// SubscriptionCondition, the mutex and condition that the subscriptions of one wait share.
#pragma once

#include <boost/shared_ptr.hpp>

#include "base/Object.h"

namespace krel_std_internal {
class SubscriptionConditionPimpl;
} // namespace krel_std_internal

namespace krel_std {

class TimeSpec;

// The mutex and condition variable that all subscriptions of one wait share.
class SubscriptionCondition : public Object {
public:
    SubscriptionCondition();
    SubscriptionCondition(const SubscriptionCondition&) = delete;
    SubscriptionCondition& operator=(const SubscriptionCondition&) = delete;
    ~SubscriptionCondition() override;

    std::wstring toString() const override;

    void lock();
    void unlock();
    // Wakes the thread waiting on the condition.
    void signal();
    // Called with the mutex held. Waits until woken or until the absolute deadline; a deadline
    // with negative seconds waits without a time limit. True when woken, false on time-out or
    // error. A wake-up may be spurious: callers re-examine their own state.
    bool wait(const TimeSpec& deadline);

private:
    boost::shared_ptr<krel_std_internal::SubscriptionConditionPimpl> pimpl;
};

} // namespace krel_std
