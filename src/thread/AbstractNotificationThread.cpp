#include "thread/AbstractNotificationThread.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"

namespace krel_std {

AbstractNotificationThread::AbstractNotificationThread() : AbstractNotificationThread(L"") {}

AbstractNotificationThread::AbstractNotificationThread(const std::wstring& name)
    : Thread(name), shutdownFlag(false), wakeupEvent(true, false) {}

AbstractNotificationThread::AbstractNotificationThread(const boost::shared_ptr<Runnable>& runnable,
                                                       const std::wstring& name)
    : Thread(runnable, name), shutdownFlag(false), wakeupEvent(true, false) {}

AbstractNotificationThread::~AbstractNotificationThread() {
    shutdown();
    if (getState() == RUNNING && getId() != Thread::getCurrentThreadId()) {
        join(-1);
    }
}

std::wstring AbstractNotificationThread::toString() const {
    return L"AbstractNotificationThread{" + Thread::toString() + L",isShutdownFlag=" +
           (shutdownFlag ? L"true" : L"false") + L"}";
}

void AbstractNotificationThread::start() {
    AutoLock<Lock> guard(lock);
    shutdownFlag = false;
    Thread::start();
}

void AbstractNotificationThread::shutdown() {
    if (__internal_debug_on()) {
        __internal_debug(L"krel_std::AbstractNotificationThread::shutdown", KREL_SOURCE_FILE,
                         __LINE__, L"Shutting down.");
    }
    AutoLock<Lock> guard(lock);
    shutdownFlag = true;
    wakeup();
    if (__internal_dump_on()) {
        __internal_dump(L"krel_std::AbstractNotificationThread::shutdown", KREL_SOURCE_FILE,
                        __LINE__, L"After wakeup call <%d>.",
                        static_cast<int>(wakeupEvent.isSignaled()));
    }
}

void AbstractNotificationThread::wakeup() {
    AutoLock<Lock> guard(lock);
    wakeupEvent.signal();
}

bool AbstractNotificationThread::isShutdown() {
    bool flag = shutdownFlag;
    if (__internal_trace_on()) {
        __internal_trace(L"krel_std::AbstractNotificationThread::isShutdown", KREL_SOURCE_FILE,
                         __LINE__, L"Is shutdown <%d>.", static_cast<int>(flag));
    }
    return flag;
}

int AbstractNotificationThread::sleepForPeriod(long ms) {
    const wchar_t* context = L"krel_std::AbstractNotificationThread::sleepForPeriod";
    if (__internal_dump_on()) {
        __internal_dump(context, KREL_SOURCE_FILE, __LINE__, L"Sleeping for <%d> msecs.",
                        static_cast<int>(ms));
    }
    int result = Concurrency::waitForSingleObject(wakeupEvent, ms);
    if (__internal_dump_on()) {
        __internal_dump(context, KREL_SOURCE_FILE, __LINE__, L"Woke up from sleep <%d>.", result);
    }
    return result == 0 ? 0 : -1;
}

} // namespace krel_std
