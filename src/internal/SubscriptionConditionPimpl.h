#pragma once

#include <ctime>
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
    // The deadline handed to the timed wait. It lives here rather than in the waiting frame: a
    // thread cancelled inside the wait unwinds from that frame, and the sanitizer build cannot
    // unwind cleanly past a stack buffer given to the interrupted call. Only the owning wait
    // uses it, with the mutex held.
    timespec until;
};

} // namespace krel_std_internal
