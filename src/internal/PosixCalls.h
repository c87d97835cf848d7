#pragma once

#include <pthread.h>
#include <semaphore.h>
#include <string>

namespace krel_std_internal {

// The POSIX thread and semaphore calls of the synchronisation classes, each retried while it
// is interrupted (EINTR), and the mapping of their error numbers to library exceptions. Error
// numbers are matched by their symbolic names.
class PosixCalls {
public:
    // Each answers 0 or the call's error number.
    static int lockMutex(pthread_mutex_t& mutex);
    static int tryLockMutex(pthread_mutex_t& mutex);
    static int unlockMutex(pthread_mutex_t& mutex);
    // Each answers 0 or the errno value of the failed call.
    static int semWait(sem_t& semaphore);
    static int semTryWait(sem_t& semaphore);
    static int semPost(sem_t& semaphore);

    // The handle that marks "no thread" (no pthread_self() answers it).
    static pthread_t nullThread() { return pthread_t(); }
    static bool isCurrentThread(pthread_t thread);

    // Throws the exception that a mutex error number stands for. 0 and EBUSY raise nothing;
    // an unknown number is printed as "Other error: %d" and raises nothing either.
    static void checkMutexResult(int error, const wchar_t* context);
    // Throws the exception that a semaphore call's errno stands for; answers normally for an
    // error number without a mapping of its own.
    static void checkSemaphoreError(int error, const wchar_t* context);

    // Builds an exception, logs it at DEBUG in the given context and throws it.
    template <typename E>
    [[noreturn]] static void raise(const wchar_t* context, const std::wstring& message,
                                   int errNum = 0) {
        E exception(message, errNum);
        exception.logDebug(context);
        throw exception;
    }

private:
    PosixCalls();
};

} // namespace krel_std_internal
