#include "platform/FileLockWait.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>

#include "platform/CancellationOff.h"

namespace krel_platform {

namespace {

// The error a waiting thread leaves until its lock call has returned.
const int STILL_WAITING = -1;

struct LockWaiter {
    int descriptor;
    std::atomic<int> error{STILL_WAITING};
};

int lockWholeFile(int descriptor, short type, int command) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    int result = 0;
    do {
        result = fcntl(descriptor, command, &lock);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

void* waitForLock(void* argument) {
    LockWaiter* waiter = static_cast<LockWaiter*>(argument);
    waiter->error = lockWholeFile(waiter->descriptor, F_WRLCK, F_OFD_SETLKW);
    return nullptr;
}

timespec monotonicTime(std::chrono::steady_clock::time_point point) {
    const auto nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(point.time_since_epoch()).count();
    return timespec{static_cast<time_t>(nanoseconds / 1000000000),
                    static_cast<long>(nanoseconds % 1000000000)};
}

// A blocking lock cannot be given a time limit, so a thread of its own blocks for the caller,
// which joins it no longer than the deadline and then cancels it. Cancellation is off for the
// caller meanwhile: the thread uses the caller's stack.
bool waitInThread(int descriptor, std::chrono::steady_clock::time_point deadline) {
    CancellationOff cancellationOff;
    LockWaiter waiter{descriptor};
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t thread;
    const int created = pthread_create(&thread, nullptr, waitForLock, &waiter);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (created != 0) {
        errno = created;
        return false;
    }
    const timespec until = monotonicTime(deadline);
    if (pthread_clockjoin_np(thread, nullptr, CLOCK_MONOTONIC, &until) != 0) {
        pthread_cancel(thread);
        pthread_join(thread, nullptr);
    }
    const int error = waiter.error.load();
    if (error == 0) {
        return true;
    }
    // A lock granted as the wait was cancelled is given back: nothing stays locked.
    lockWholeFile(descriptor, F_UNLCK, F_OFD_SETLK);
    errno = error == STILL_WAITING ? ETIMEDOUT : error;
    return false;
}

} // namespace

bool lockFileUntil(int descriptor, std::chrono::steady_clock::time_point deadline) {
    const int error = lockWholeFile(descriptor, F_WRLCK, F_OFD_SETLK);
    if (error == 0) {
        return true;
    }
    if (error != EAGAIN && error != EACCES) {
        errno = error;
        return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
        errno = ETIMEDOUT;
        return false;
    }
    return waitInThread(descriptor, deadline);
}

} // namespace krel_platform
