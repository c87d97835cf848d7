#include "thread/SubscriptionCondition.h"

#include <boost/make_shared.hpp>

#include "internal/SubscriptionConditionPimpl.h"

using krel_std_internal::SubscriptionConditionPimpl;

namespace krel_std {

SubscriptionCondition::SubscriptionCondition()
    : pimpl(boost::make_shared<SubscriptionConditionPimpl>()) {}

SubscriptionCondition::~SubscriptionCondition() {}

std::wstring SubscriptionCondition::toString() const {
    return L"SubscriptionCondition{}";
}

void SubscriptionCondition::lock() {
    pimpl->lock();
}

void SubscriptionCondition::unlock() {
    pimpl->unlock();
}

void SubscriptionCondition::signal() {
    pimpl->signal();
}

bool SubscriptionCondition::wait(const TimeSpec& deadline) {
    return pimpl->wait(deadline);
}

} // namespace krel_std
