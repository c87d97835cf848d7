#include "internal/CallerThread.h"

#include "thread/Thread.h"

namespace krel_std_internal {

__thread CallerThread::Record CallerThread::record;

uint64_t CallerThread::lookUpId() {
    static const int forkHandlerRegistered = pthread_atfork(nullptr, nullptr, forgetIdInChild);
    (void)forkHandlerRegistered;
    record.id = krel_std::Thread::getCurrentThreadId();
    return record.id;
}

void CallerThread::forgetIdInChild() {
    record.id = 0;
}

} // namespace krel_std_internal
