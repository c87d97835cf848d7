#include "prefs/PreferenceChangeNotifier.h"

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "internal/GuardedCall.h"
#include "log/KrelLoggerSTD.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

const wchar_t* const RUN_CONTEXT =
    L"krel_std::PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::run";

void checkPath(const std::wstring& path, const wchar_t* context) {
    ErrorUtils::isEmptyEx(path, context, L"Path");
}

void checkArguments(const std::wstring& path,
                    const boost::shared_ptr<PreferenceChangeListener>& listener,
                    const wchar_t* context) {
    checkPath(path, context);
    ErrorUtils::isNullEx(listener, context, L"Listener");
}

} // namespace

const unsigned int PreferenceChangeNotifier::MAX_QUEUE_SIZE = 1000;

PreferenceChangeNotifier::PreferenceChangeNotifier() : dispatchThread(*this) {
    KREL_TRACE_SCOPE(L"krel_std::PreferenceChangeNotifier::PreferenceChangeNotifier");
}

PreferenceChangeNotifier::~PreferenceChangeNotifier() {
    Singleton<KrelLoggerSTD>::getInstance().STD0001(
        L"krel_std::PreferenceChangeNotifier::~PreferenceChangeNotifier");
    dispatchThread.shutdown();
}

std::wstring PreferenceChangeNotifier::toString() const {
    return L"PreferenceChangeNotifier{}";
}

const wchar_t* PreferenceChangeNotifier::getSingletonName() {
    return L"krel_std::PreferenceChangeNotifier";
}

Lock& PreferenceChangeNotifier::lock() {
    static Lock& notifierLock = *new Lock;
    return notifierLock;
}

void PreferenceChangeNotifier::addPreferenceChangeListener(
    const std::wstring& path, const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context =
        L"krel_std::PreferenceChangeNotifier::addPreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path <%ls> Listener <%p>.", path.c_str(),
                          listener.get());
    checkArguments(path, listener, context);
    AutoLock<Lock> guard(lock());
    ListenerSet listeners = getPrefChgListeners(path);
    if (listeners.find(listener) != listeners.end()) {
        KREL_INTERNAL_CALL(context, L"Change listener already in list.");
        return;
    }
    KREL_INTERNAL_DEBUG(context, L"Adding listener to <%ls> listener path.", path.c_str());
    listeners.insert(listener);
    updatePreferenceChangeListenerMap(path, listeners);
    startEventDispatchThreadIfNecessary();
}

void PreferenceChangeNotifier::removePreferenceChangeListener(
    const std::wstring& path, const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context =
        L"krel_std::PreferenceChangeNotifier::removePreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path <%ls> Listener <%p>.", path.c_str(),
                          listener.get());
    checkArguments(path, listener, context);
    AutoLock<Lock> guard(lock());
    ListenerSet listeners = getPrefChgListeners(path);
    if (listeners.erase(listener) == 0) {
        KREL_INTERNAL_DEBUG(context, L"Listener <%p> not register for path <%ls>.", listener.get(),
                            path.c_str());
        return;
    }
    if (listeners.empty()) {
        removePreferenceChangeListenerFromMap(path);
    } else {
        updatePreferenceChangeListenerMap(path, listeners);
    }
}

unsigned int PreferenceChangeNotifier::getNumberOfListeners(const std::wstring& path) {
    const wchar_t* const context = L"krel_std::PreferenceChangeNotifier::getNumberOfListeners";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path <%ls>.", path.c_str());
    checkPath(path, context);
    AutoLock<Lock> guard(lock());
    auto entry = listenerMap.find(path);
    const unsigned int count =
        entry == listenerMap.end() ? 0u : static_cast<unsigned int>(entry->second.size());
    KREL_INTERNAL_DEBUG(context, L"<%d> listeners for path <%ls>.", static_cast<int>(count),
                        path.c_str());
    return count;
}

void PreferenceChangeNotifier::enqueuePreferenceChangeEvent(
    const boost::shared_ptr<PreferenceChangeEvent>& event) {
    const wchar_t* const context =
        L"krel_std::PreferenceChangeNotifier::enqueuePreferenceChangeEvent";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Event <%p>.", event.get());
    AutoLock<Lock> guard(lock());
    if (eventQueue.size() >= MAX_QUEUE_SIZE) {
        Singleton<KrelLoggerSTD>::getInstance().STD3004(context, MAX_QUEUE_SIZE);
        return;
    }
    eventQueue.push_back(event);
    dispatchThread.wakeup();
}

boost::shared_ptr<PreferenceChangeEvent> PreferenceChangeNotifier::dequeuePreferenceChangeEvent() {
    KREL_TRACE_SCOPE(L"krel_std::PreferenceChangeNotifier::dequeuePreferenceChangeEvent");
    AutoLock<Lock> guard(lock());
    boost::shared_ptr<PreferenceChangeEvent> event;
    if (!eventQueue.empty()) {
        event.swap(eventQueue.front());
        eventQueue.pop_front();
    }
    return event;
}

PreferenceChangeNotifier::ListenerSet
PreferenceChangeNotifier::getPrefChgListeners(const std::wstring& path) {
    const wchar_t* const context = L"krel_std::PreferenceChangeNotifier::getPrefChgListeners";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path <%ls>.", path.c_str());
    AutoLock<Lock> guard(lock());
    auto entry = listenerMap.find(path);
    if (entry == listenerMap.end()) {
        KREL_INTERNAL_CALL(context, L"No listeners for specified path.");
        return ListenerSet();
    }
    KREL_INTERNAL_CALL(context, L"<%d> listeners for specified path.",
                       static_cast<int>(entry->second.size()));
    return entry->second;
}

void PreferenceChangeNotifier::updatePreferenceChangeListenerMap(const std::wstring& path,
                                                                 const ListenerSet& listeners) {
    AutoLock<Lock> guard(lock());
    listenerMap[path] = listeners;
}

void PreferenceChangeNotifier::removePreferenceChangeListenerFromMap(const std::wstring& path) {
    AutoLock<Lock> guard(lock());
    listenerMap.erase(path);
}

void PreferenceChangeNotifier::startEventDispatchThreadIfNecessary() {
    const wchar_t* const context =
        L"krel_std::PreferenceChangeNotifier::startEventDispatchThreadIfNecessary";
    KREL_TRACE_SCOPE(context);
    AutoLock<Lock> guard(lock());
    if (dispatchThread.getState() != Thread::RUNNING) {
        Singleton<KrelLoggerSTD>::getInstance().STD0000(context);
        dispatchThread.start();
    }
}

unsigned int PreferenceChangeNotifier::getPreferenceChangeEventQueueSize() {
    AutoLock<Lock> guard(lock());
    return static_cast<unsigned int>(eventQueue.size());
}

PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::PreferenceChangeEventDispatchThread(
    PreferenceChangeNotifier& notifier)
    : AbstractNotificationThread(L"PreferenceChangeEventDispatchThread"), notifier(notifier) {}

PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::
    ~PreferenceChangeEventDispatchThread() {
    shutdown();
    if (getState() == RUNNING && getId() != Thread::getCurrentThreadId()) {
        join(-1);
    }
}

std::wstring PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::toString() const {
    return L"PreferenceChangeEventDispatchThread{" + AbstractNotificationThread::toString() + L"}";
}

// Faults of one event's delivery are handled inside deliver; only a fault of the queue or the
// wake-up itself reaches the catch here, and ends the thread until the next registration
// starts it again.
void PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::run() {
    KREL_TRACE_SCOPE(RUN_CONTEXT);
    const bool completed = krel_std_internal::callGuarded(
        RUN_CONTEXT, [] { return std::wstring(L"The event queue"); },
        [this] {
            while (!isShutdown()) {
                boost::shared_ptr<PreferenceChangeEvent> event = nextEvent();
                if (event) {
                    deliver(event);
                } else {
                    KREL_INTERNAL_DEBUG(RUN_CONTEXT, L"Got NULL event from queue.");
                }
            }
        });
    if (!completed) {
        Singleton<KrelLoggerSTD>::getInstance().STD3003(RUN_CONTEXT);
    }
}

boost::shared_ptr<PreferenceChangeEvent>
PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::nextEvent() {
    if (notifier.getPreferenceChangeEventQueueSize() > 0) {
        return notifier.dequeuePreferenceChangeEvent();
    }
    if (sleepForPeriod(-1) == 0) {
        return notifier.dequeuePreferenceChangeEvent();
    }
    return boost::shared_ptr<PreferenceChangeEvent>();
}

void PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::deliver(
    const boost::shared_ptr<PreferenceChangeEvent>& event) {
    const bool delivered = krel_std_internal::callGuarded(
        RUN_CONTEXT, [] { return std::wstring(L"Delivering an event"); },
        [&] { handlePreferenceChangeEvent(event); });
    if (!delivered) {
        Singleton<KrelLoggerSTD>::getInstance().STD3003(RUN_CONTEXT);
    }
}

// The listener set is a copy taken under the notifier's lock, so listeners run with no lock
// held and may change registrations. A listener that throws is logged and the next one is
// called.
void PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::handlePreferenceChangeEvent(
    const boost::shared_ptr<PreferenceChangeEvent>& event) {
    const wchar_t* const context =
        L"krel_std::PreferenceChangeNotifier::"
        L"PreferenceChangeEventDispatchThread::handlePreferenceChangeEvent";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Event <%ls>.",
                          __internal_call_on() ? event->toString().c_str() : L"");
    const ListenerSet listeners = notifier.getPrefChgListeners(event->getListenerPath());
    for (const boost::shared_ptr<PreferenceChangeListener>& listener : listeners) {
        const bool called = krel_std_internal::callGuarded(
            context, [] { return std::wstring(L"PreferenceChangeListener::preferenceChange"); },
            [&] { listener->preferenceChange(event); });
        if (!called) {
            Singleton<KrelLoggerSTD>::getInstance().STD3003(RUN_CONTEXT);
        }
    }
}

} // namespace krel_std
