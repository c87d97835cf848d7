#include "thread/Semaphore.h"

#include <climits>
#include <semaphore.h>

#include "exception/KrelIllegalArgumentException.h"
#include "internal/GuardedCall.h"
#include "internal/PosixCalls.h"
#include "internal/SemaphorePimpl.h"
#include "internal/WaitablePimpl.h"

using krel_std_internal::PosixCalls;
using krel_std_internal::SemaphorePimpl;
using krel_std_internal::WaitablePimpl;

namespace krel_std {

namespace {
unsigned int checkedInitialValue(long initialValue) {
    if (initialValue < 0) {
        return 0;
    }
    if (initialValue > SEM_VALUE_MAX) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            L"krel_std::Semaphore::Semaphore", L"Initial value of the semaphore must not exceed " +
                                                   std::to_wstring(SEM_VALUE_MAX) + L".");
    }
    return static_cast<unsigned int>(initialValue);
}
} // namespace

Semaphore::Semaphore(long initialValue)
    : Waitable(true, initialValue >= 1),
      pimpl(new SemaphorePimpl(checkedInitialValue(initialValue))) {}

Semaphore::~Semaphore() {}

std::wstring Semaphore::toString() const {
    return L"Semaphore{value=" + std::to_wstring(getValue()) + L"}";
}

int Semaphore::getValue() const {
    return pimpl->getValue();
}

bool Semaphore::tryDecrement() {
    return pimpl->tryDecrement();
}

// Each increment signals the Waitable side once, releasing one Concurrency waiter. The thread
// that takes the posted unit may destroy the semaphore at once, so the signal goes through the
// waiting state taken before the post, never through this object.
void Semaphore::increment() {
    boost::shared_ptr<WaitablePimpl> state = getWaitState();
    pimpl->increment();
    state->signal();
}

void Semaphore::decrement() {
    pimpl->decrement();
}

void Semaphore::operator++(int) {
    krel_std_internal::callSwallowing([&] { increment(); });
}

void Semaphore::operator--(int) {
    krel_std_internal::callSwallowing([&] { decrement(); });
}

} // namespace krel_std
