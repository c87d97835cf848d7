#include "platform/WinBase.h"

#include <ctime>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// The calling thread's id, asked of the kernel once. A forked child starts with the forking
// thread's cache but runs under an id of its own, so the cache is cleared in the child.
thread_local DWORD cachedThreadId = 0;

void forgetThreadIdInChild() {
    cachedThreadId = 0;
}

ULONGLONG monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000u +
           static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

} // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD errorCode) {
    lastError = errorCode;
}

DWORD GetCurrentThreadId() {
    if (cachedThreadId == 0) {
        static const int forkHandlerRegistered =
            pthread_atfork(nullptr, nullptr, forgetThreadIdInChild);
        (void)forkHandlerRegistered;
        cachedThreadId = static_cast<DWORD>(syscall(SYS_gettid));
    }
    return cachedThreadId;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

void Sleep(DWORD milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000u),
                       static_cast<long>(milliseconds % 1000u) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0) {
    }
}

void GetLocalTime(SYSTEMTIME* systemTime) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    localtime_r(&now.tv_sec, &local);
    systemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    systemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    systemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    systemTime->wDay = static_cast<WORD>(local.tm_mday);
    systemTime->wHour = static_cast<WORD>(local.tm_hour);
    systemTime->wMinute = static_cast<WORD>(local.tm_min);
    systemTime->wSecond = static_cast<WORD>(local.tm_sec);
    systemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000L);
}

DWORD GetTickCount() {
    return static_cast<DWORD>(monotonicMilliseconds());
}

ULONGLONG GetTickCount64() {
    return monotonicMilliseconds();
}
