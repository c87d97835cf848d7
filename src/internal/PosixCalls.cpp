#include "internal/PosixCalls.h"

#include <cerrno>
#include <cstdio>

#include "exception/KrelAccessException.h"
#include "exception/KrelDeadlockException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "exception/KrelUnsupportedOperationException.h"

using namespace krel_std;

namespace krel_std_internal {

int PosixCalls::lockMutex(pthread_mutex_t& mutex) {
    int result;
    do {
        result = pthread_mutex_lock(&mutex);
    } while (result == EINTR);
    return result;
}

int PosixCalls::tryLockMutex(pthread_mutex_t& mutex) {
    int result;
    do {
        result = pthread_mutex_trylock(&mutex);
    } while (result == EINTR);
    return result;
}

int PosixCalls::unlockMutex(pthread_mutex_t& mutex) {
    int result;
    do {
        result = pthread_mutex_unlock(&mutex);
    } while (result == EINTR);
    return result;
}

int PosixCalls::semWait(sem_t& semaphore) {
    while (sem_wait(&semaphore) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int PosixCalls::semTryWait(sem_t& semaphore) {
    while (sem_trywait(&semaphore) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int PosixCalls::semPost(sem_t& semaphore) {
    while (sem_post(&semaphore) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

bool PosixCalls::isCurrentThread(pthread_t thread) {
    return pthread_equal(thread, pthread_self()) != 0;
}

void PosixCalls::checkMutexResult(int error, const wchar_t* context) {
    switch (error) {
    case 0:
    case EBUSY:
        return;
    case EPERM:
        raise<KrelAccessException>(context, L"The current thread does not own the lock.", error);
    case EAGAIN:
        raise<KrelOutOfResourcesException>(
            context, L"The recursion limit for this lock has been exceeded.", error);
    case EINVAL:
        raise<KrelIllegalStateException>(context,
                                         L"Lock was in an invalid state, check that the mutex has "
                                         L"been initialized correctly.",
                                         error);
    case EDEADLK:
        raise<KrelDeadlockException>(context, L"Locking this mutex would cause a deadlock.", error);
    default:
        std::printf("Other error: %d\n", error);
        std::fflush(stdout);
    }
}

void PosixCalls::checkSemaphoreError(int error, const wchar_t* context) {
    switch (error) {
    case EINVAL:
        raise<KrelIllegalStateException>(
            context, L"The semaphore was in an invalid state, check that it has been initialized.",
            error);
    case EDEADLK:
        raise<KrelDeadlockException>(context, L"A deadlock condition was detected.", error);
    case ENOSYS:
        raise<KrelUnsupportedOperationException>(
            context, L"The functions are not supported by this implementation.", error);
    default:
        return;
    }
}

} // namespace krel_std_internal
