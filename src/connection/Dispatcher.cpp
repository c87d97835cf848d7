#include "connection/Dispatcher.h"

#include <boost/container/small_vector.hpp>
#include <exception>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

const wchar_t ADD_LISTENER[] = L"krel_std::Dispatcher::addListener";
const wchar_t REMOVE_LISTENER[] = L"krel_std::Dispatcher::removeListener";
const wchar_t SUBMIT[] = L"krel_std::Dispatcher::submit";
const wchar_t LISTENER_NAME[] = L"Event listener";
const wchar_t EVENT_NAME[] = L"Event name";

int sizeOf(const std::vector<std::wstring>& names) {
    return static_cast<int>(names.size());
}

} // namespace

Dispatcher::Dispatcher(const std::wstring& key) : key(key) {}

Dispatcher::~Dispatcher() {}

std::wstring Dispatcher::getKey() const {
    AutoLock<Lock> guard(lock);
    return key;
}

std::wstring Dispatcher::toString() const {
    return L"Dispatcher{key='" + key + L"'}";
}

void Dispatcher::addListener(const boost::shared_ptr<IEventListener>& listener,
                             const std::vector<std::wstring>& names) {
    KREL_TRACE_SCOPE_ARGS(ADD_LISTENER, L"Begin. Listener <%p> Event list size <%d>.",
                          listener.get(), sizeOf(names));
    ErrorUtils::isNullEx(listener, ADD_LISTENER, LISTENER_NAME);
    AutoLock<Lock> guard(lock);
    for (const std::wstring& name : names) {
        if (name.empty()) {
            continue;
        }
        KREL_INTERNAL_TRACE(ADD_LISTENER, L"Adding event <%ls>.", name.c_str());
        insert(listener, name);
    }
}

void Dispatcher::addListener(const boost::shared_ptr<IEventListener>& listener,
                             const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(ADD_LISTENER, L"Begin. Listener <%p> Event name <%ls>.", listener.get(),
                          name.c_str());
    ErrorUtils::isNullEx(listener, ADD_LISTENER, LISTENER_NAME);
    ErrorUtils::isEmptyEx(name, ADD_LISTENER, EVENT_NAME);
    AutoLock<Lock> guard(lock);
    insert(listener, name);
}

void Dispatcher::removeListener(const boost::shared_ptr<IEventListener>& listener) {
    KREL_TRACE_SCOPE_ARGS(REMOVE_LISTENER, L"Begin. Listener <%p>.", listener.get());
    ErrorUtils::isNullEx(listener, REMOVE_LISTENER, LISTENER_NAME);
    AutoLock<Lock> guard(lock);
    std::vector<std::wstring> names;
    names.reserve(listeners.size());
    for (const auto& entry : listeners) {
        names.push_back(entry.first);
    }
    removeListener(listener, names);
}

void Dispatcher::removeListener(const boost::shared_ptr<IEventListener>& listener,
                                const std::vector<std::wstring>& names) {
    KREL_TRACE_SCOPE_ARGS(REMOVE_LISTENER, L"Begin. Listener <%p> Event list size <%d>.",
                          listener.get(), sizeOf(names));
    ErrorUtils::isNullEx(listener, REMOVE_LISTENER, LISTENER_NAME);
    AutoLock<Lock> guard(lock);
    for (const std::wstring& name : names) {
        if (name.empty()) {
            continue;
        }
        KREL_INTERNAL_TRACE(REMOVE_LISTENER, L"Removing event <%ls>.", name.c_str());
        erase(listener, name);
    }
}

void Dispatcher::removeListener(const boost::shared_ptr<IEventListener>& listener,
                                const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(REMOVE_LISTENER, L"Begin. Listener <%p> Event name <%ls>.",
                          listener.get(), name.c_str());
    ErrorUtils::isNullEx(listener, REMOVE_LISTENER, LISTENER_NAME);
    ErrorUtils::isEmptyEx(name, REMOVE_LISTENER, EVENT_NAME);
    AutoLock<Lock> guard(lock);
    erase(listener, name);
}

void Dispatcher::removeAllListeners() {
    KREL_TRACE_SCOPE(L"krel_std::Dispatcher::removeAllListeners");
    AutoLock<Lock> guard(lock);
    listeners.clear();
}

void Dispatcher::insert(const boost::shared_ptr<IEventListener>& listener,
                        const std::wstring& name) {
    listeners[name].insert(listener);
}

void Dispatcher::erase(const boost::shared_ptr<IEventListener>& listener,
                       const std::wstring& name) {
    const auto found = listeners.find(name);
    if (found != listeners.end()) {
        found->second.erase(listener);
    }
}

// The listeners are called from a copy taken under the lock, in the set's order, after the
// lock is released. The copy of a few listeners stays on the stack.
void Dispatcher::submit(const boost::shared_ptr<IEvent>& event) {
    KREL_TRACE_SCOPE_ARGS(SUBMIT, L"Begin. Event <%p>.", event.get());
    if (!event) {
        ErrorUtils::isNullEx(event, SUBMIT, L"Event");
    }
    boost::container::small_vector<boost::shared_ptr<IEventListener>, 8> called;
    {
        AutoLock<Lock> guard(lock);
        const std::wstring name = event->getName();
        const auto found = listeners.find(name);
        if (found == listeners.end()) {
            KREL_INTERNAL_DEBUG(SUBMIT, L"No listeners registered for event <%ls>.", name.c_str());
        } else {
            called.assign(found->second.begin(), found->second.end());
        }
    }
    KREL_INTERNAL_TRACE(SUBMIT, L"Informing listeners.");
    for (const boost::shared_ptr<IEventListener>& listener : called) {
        dispatchTo(*listener, event);
    }
}

void Dispatcher::dispatchTo(IEventListener& listener,
                            const boost::shared_ptr<IEvent>& event) const {
    KREL_INTERNAL_TRACE(SUBMIT, L"Dispatching to listener <%ls>.", listener.toString().c_str());
    try {
        listener.submit(event);
    } catch (KrelException& e) {
        KREL_INTERNAL_DEBUG(
            SUBMIT, L"Dispatcher %ls. IEventListener::submit(%ls) unexpectedly throw <%ls>.",
            key.c_str(), event->toString().c_str(), e.toString().c_str());
    } catch (std::exception& e) {
        KREL_INTERNAL_DEBUG(
            SUBMIT, L"Dispatcher %ls. IEventListener::submit(%ls) unexpectedly throw <%hs>.",
            key.c_str(), event->toString().c_str(), e.what());
    }
}

} // namespace krel_std
