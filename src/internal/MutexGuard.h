#pragma once

#include <pthread.h>

namespace krel_std_internal {

// Holds one of the implementation's own POSIX mutexes for a scope. These mutexes guard short
// sections of bookkeeping; their lock and unlock calls retry on EINTR.
class MutexGuard {
public:
    explicit MutexGuard(pthread_mutex_t& mutex);
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;
    ~MutexGuard();

private:
    pthread_mutex_t& mutex;
};

} // namespace krel_std_internal
