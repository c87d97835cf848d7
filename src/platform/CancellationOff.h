// Keeps thread cancellation off for a scope of the stand-in.
#pragma once

#include <pthread.h>

namespace krel_platform {

// The stand-in's descriptor calls (read, write, close) are cancellation points; a cancellation
// there would leave an object half changed. Within this scope cancellation is off; a wait turns
// the caller's own setting back on only around its poll(), the one place where a cancelled
// thread may leave a wait.
class CancellationOff {
public:
    CancellationOff() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous); }
    CancellationOff(const CancellationOff&) = delete;
    CancellationOff& operator=(const CancellationOff&) = delete;
    ~CancellationOff() { pthread_setcancelstate(previous, nullptr); }

    // The caller's setting, restored around a poll().
    int callerState() const { return previous; }

private:
    int previous;
};

} // namespace krel_platform
