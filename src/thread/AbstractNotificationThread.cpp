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
    KREL_INTERNAL_DEBUG(L"krel_std::AbstractNotificationThread::shutdown", L"Shutting down.");
    AutoLock<Lock> guard(lock);
    shutdownFlag = true;
    wakeup();
    KREL_INTERNAL_DUMP(L"krel_std::AbstractNotificationThread::shutdown",
                       L"After wakeup call <%d>.", static_cast<int>(wakeupEvent.isSignaled()));
}

void AbstractNotificationThread::wakeup() {
    AutoLock<Lock> guard(lock);
    wakeupEvent.signal();
}

bool AbstractNotificationThread::isShutdown() {
    bool flag = shutdownFlag;
    KREL_INTERNAL_TRACE(L"krel_std::AbstractNotificationThread::isShutdown", L"Is shutdown <%d>.",
                        static_cast<int>(flag));
    return flag;
}

int AbstractNotificationThread::sleepForPeriod(long ms) {
    const wchar_t* context = L"krel_std::AbstractNotificationThread::sleepForPeriod";
    KREL_INTERNAL_DUMP(context, L"Sleeping for <%d> msecs.", static_cast<int>(ms));
    int result = Concurrency::waitForSingleObject(wakeupEvent, ms);
    KREL_INTERNAL_DUMP(context, L"Woke up from sleep <%d>.", result);
    return result == 0 ? 0 : -1;
}

} // namespace krel_std
