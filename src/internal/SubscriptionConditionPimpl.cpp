#include "internal/SubscriptionConditionPimpl.h"

#include <ctime>

#include "internal/PosixCalls.h"
#include "thread/TimeSpec.h"

namespace krel_std_internal {

SubscriptionConditionPimpl::SubscriptionConditionPimpl() : until() {
    pthread_mutex_init(&mutex, nullptr);
    pthread_cond_init(&condition, nullptr);
}

SubscriptionConditionPimpl::~SubscriptionConditionPimpl() {
    pthread_cond_destroy(&condition);
    pthread_mutex_destroy(&mutex);
}

void SubscriptionConditionPimpl::lock() {
    PosixCalls::lockMutex(mutex);
}

void SubscriptionConditionPimpl::unlock() {
    PosixCalls::unlockMutex(mutex);
}

void SubscriptionConditionPimpl::signal() {
    pthread_cond_signal(&condition);
}

bool SubscriptionConditionPimpl::wait(const krel_std::TimeSpec& deadline) {
    if (deadline.getSeconds() < 0) {
        return pthread_cond_wait(&condition, &mutex) == 0;
    }
    until.tv_sec = static_cast<time_t>(deadline.getSeconds());
    until.tv_nsec = deadline.getNanoseconds();
    return pthread_cond_timedwait(&condition, &mutex, &until) == 0;
}

} // namespace krel_std_internal
