#include "jni/JniCallbackQueue.h"

#include <vector>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalStateException.h"
#include "platform/WinBase.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

const int TERMINATE_INDEX = 0;
const int JOB_INDEX = 1;
// How long the shut-down holds the lock before it drops the queued records.
const DWORD SHUTDOWN_PAUSE_MS = 10;

// Counts the calling thread among the consumers for as long as it waits in dequeue.
class ConsumerCount {
public:
    explicit ConsumerCount(std::atomic<int>& count) : count(count) { ++count; }
    ~ConsumerCount() { --count; }
    ConsumerCount(const ConsumerCount&) = delete;
    ConsumerCount& operator=(const ConsumerCount&) = delete;

private:
    std::atomic<int>& count;
};

} // namespace

// terminateEvent: manual reset, so that a shut-down stays visible to every later wait;
// jobEvent: auto reset, one wake per signal.
JniCallbackQueue::JniCallbackQueue()
    : terminateEvent(false, false), jobEvent(true, false), consumers(0) {}

JniCallbackQueue::~JniCallbackQueue() {
    try {
        shutdown();
    } catch (...) {
        // A destructor lets nothing out; the shut-down's own steps cannot fail in practice.
    }
}

const wchar_t* JniCallbackQueue::getSingletonName() {
    return L"krel_std::JniCallbackQueue";
}

Lock& JniCallbackQueue::lock() {
    static Lock& queueLock = *new Lock;
    return queueLock;
}

void JniCallbackQueue::enqueue(const boost::shared_ptr<IJniCallback>& callback) {
    const wchar_t* const context = L"krel_std::JniCallbackQueue::enqueue";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Data <%p>.", static_cast<void*>(callback.get()));
    ErrorUtils::isNullEx(callback, context, L"JNI callback object");
    AutoLock<Lock> guard(lock());
    checkShutdown();
    queue.push_back(callback);
    jobEvent.signal();
}

// A wake on the job event that finds nothing (a shut-down emptied the queue meanwhile) waits
// again, so the answer is null only at termination. The terminate event comes first in the
// wait, so a shut-down wins over records still queued.
jobject JniCallbackQueue::dequeue(JNIEnv* env) {
    const wchar_t* const context = L"krel_std::JniCallbackQueue::dequeue";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. JNI Env <%p>.", static_cast<void*>(env));
    checkShutdown();
    const std::vector<Waitable*> events{&terminateEvent, &jobEvent};
    ConsumerCount counted(consumers);
    for (;;) {
        const int index =
            Concurrency::waitForMultipleObjects(events, Concurrency::WAIT_FOR_ANY, -1);
        if (index == TERMINATE_INDEX) {
            KREL_INTERNAL_CALL(context, L"Got signal to terminate.");
            return nullptr;
        }
        if (index != JOB_INDEX) {
            KREL_INTERNAL_CALL(context, L"waitForMultipleObjects returned <%d>.", index);
            return nullptr;
        }
        KREL_INTERNAL_CALL(context, L"Got job signal.");
        const boost::shared_ptr<IJniCallback> callback = dequeue();
        if (callback) {
            return callback->createJniObject(env);
        }
    }
}

void JniCallbackQueue::shutdown() {
    const wchar_t* const context = L"krel_std::JniCallbackQueue::shutdown";
    KREL_TRACE_SCOPE(context);
    AutoLock<Lock> guard(lock());
    if (isShutdown()) {
        return;
    }
    terminateEvent.signal();
    KREL_INTERNAL_CALL(context, L"Signaled termination.");
    if (consumers.load() > 0) {
        Sleep(SHUTDOWN_PAUSE_MS);
    }
    while (!queue.empty()) {
        queue.pop_front();
    }
}

bool JniCallbackQueue::isShutdown() const {
    return terminateEvent.isSignaled();
}

void JniCallbackQueue::checkShutdown() const {
    AutoLock<Lock> guard(lock());
    if (isShutdown()) {
        KrelIllegalStateException exception(L"JniCallbackQueue is shutdown.");
        exception.logDebug(L"krel_std::JniCallbackQueue::checkShutdown");
        throw exception;
    }
}

boost::shared_ptr<IJniCallback> JniCallbackQueue::dequeue() {
    AutoLock<Lock> guard(lock());
    if (queue.empty()) {
        return boost::shared_ptr<IJniCallback>();
    }
    const boost::shared_ptr<IJniCallback> callback = queue.front();
    queue.pop_front();
    if (!queue.empty()) {
        jobEvent.signal();
    }
    return callback;
}

} // namespace krel_std
