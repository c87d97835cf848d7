#include "internal/SemaphorePimpl.h"

#include <cerrno>
#include <climits>
#include <string>

#include "exception/KrelUnknownException.h"
#include "internal/PosixCalls.h"

using namespace krel_std;

namespace krel_std_internal {

namespace {
// Throws the mapped exception for error, or the unknown-failure exception for the rest.
[[noreturn]] void raiseFailure(int error, const wchar_t* context) {
    PosixCalls::checkSemaphoreError(error, context);
    PosixCalls::raise<KrelUnknownException>(
        context, L"Operation failed for unknown reason (errno was not set)", error);
}
} // namespace

SemaphorePimpl::SemaphorePimpl(unsigned int initialValue) {
    sem_init(&semaphore, 0, initialValue);
}

SemaphorePimpl::~SemaphorePimpl() {
    sem_destroy(&semaphore);
}

int SemaphorePimpl::getValue() {
    int value = 0;
    if (sem_getvalue(&semaphore, &value) != 0) {
        raiseFailure(errno, L"krel_std::Semaphore::getValue");
    }
    return value;
}

bool SemaphorePimpl::tryDecrement() {
    int error = PosixCalls::semTryWait(semaphore);
    if (error != 0 && error != EAGAIN) {
        PosixCalls::checkSemaphoreError(error, L"krel_std::Semaphore::tryDecrement");
    }
    return error == 0;
}

void SemaphorePimpl::increment() {
    int error = PosixCalls::semPost(semaphore);
    if (error == EOVERFLOW) {
        PosixCalls::raise<KrelUnknownException>(
            L"krel_std::Semaphore::increment",
            L"The semaphore's count would pass its maximum of " + std::to_wstring(SEM_VALUE_MAX) +
                L".",
            error);
    }
    if (error != 0) {
        raiseFailure(error, L"krel_std::Semaphore::increment");
    }
}

void SemaphorePimpl::decrement() {
    int error = PosixCalls::semWait(semaphore);
    if (error != 0) {
        raiseFailure(error, L"krel_std::Semaphore::decrement");
    }
}

} // namespace krel_std_internal
