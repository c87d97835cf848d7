#include "internal/MutexGuard.h"

#include "internal/PosixCalls.h"

namespace krel_std_internal {

MutexGuard::MutexGuard(pthread_mutex_t& mutex) : mutex(mutex) {
    PosixCalls::lockMutex(mutex);
}

MutexGuard::~MutexGuard() {
    PosixCalls::unlockMutex(mutex);
}

} // namespace krel_std_internal
