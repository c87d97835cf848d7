#pragma once

#include <pthread.h>

namespace krel_std {
class TimeSpec;
} // namespace krel_std

namespace krel_std_internal {

// The POSIX mutex and condition variable behind a SubscriptionCondition. Deadlines are
// wall-clock times.
class SubscriptionConditionPimpl {
public:
    SubscriptionConditionPimpl();
    SubscriptionConditionPimpl(const SubscriptionConditionPimpl&) = delete;
    SubscriptionConditionPimpl& operator=(const SubscriptionConditionPimpl&) = delete;
    ~SubscriptionConditionPimpl();

    void lock();
    void unlock();
    void signal();
    bool wait(const krel_std::TimeSpec& deadline);

private:
    pthread_mutex_t mutex;
    pthread_cond_t condition;
};

} // namespace krel_std_internal
