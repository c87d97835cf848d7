#include "prefs/PreferenceChangeBlocker.h"

#include <chrono>
#include <deque>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "log/KrelLoggerSTD.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/Preferences.h"
#include "prefs/PreferencesUtils.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

const wchar_t* const CONSTRUCTOR_CONTEXT =
    L"krel_std::PreferenceChangeBlocker::PreferenceChangeBlocker";

// The node of a path key, checked like a node given directly.
boost::shared_ptr<Preferences> nodeOfKey(const std::wstring& key, bool isSystemNode) {
    boost::shared_ptr<Preferences> node = PreferencesUtils::getNode(key, isSystemNode);
    ErrorUtils::isNullEx(node, CONSTRUCTOR_CONTEXT, L"Preference node");
    return node;
}

std::list<boost::shared_ptr<Preferences>> nodesOfKeys(const std::vector<std::wstring>& keys,
                                                      bool isSystemNode) {
    ErrorUtils::isEqualEx(keys.size(), static_cast<std::size_t>(0), CONSTRUCTOR_CONTEXT,
                          L"Keys size");
    std::list<boost::shared_ptr<Preferences>> nodes;
    for (const std::wstring& key : keys) {
        nodes.push_back(nodeOfKey(key, isSystemNode));
    }
    return nodes;
}

} // namespace

// The part of a blocker that the notifier calls. The queue holds events not yet taken; the
// change signal is set exactly while events wait, so every waiter woken by it finds one unless
// another caller was quicker.
class PreferenceChangeBlocker::SharedState final : public PreferenceChangeListener {
public:
    SharedState() : changeEvent(true, false) {}

    void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) override {
        AutoLock<Lock> guard(lock);
        if (events.size() >= static_cast<std::size_t>(DEFAULT_MAX_QUEUE_SIZE)) {
            Singleton<KrelLoggerSTD>::getInstance().STD3005(
                L"krel_std::PreferenceChangeBlocker::preferenceChange",
                static_cast<unsigned int>(DEFAULT_MAX_QUEUE_SIZE));
            return;
        }
        events.push_back(event);
        changeEvent.signal();
    }

    // The oldest event, or an empty pointer when none waits. Taking the last one clears the
    // change signal; taking one of several signals it again, for the next waiter.
    boost::shared_ptr<PreferenceChangeEvent> take() {
        AutoLock<Lock> guard(lock);
        boost::shared_ptr<PreferenceChangeEvent> event;
        if (events.empty()) {
            return event;
        }
        event.swap(events.front());
        events.pop_front();
        if (events.empty()) {
            changeEvent.reset();
        } else {
            changeEvent.signal();
        }
        return event;
    }

    Event& getChangeEvent() { return changeEvent; }

private:
    Lock lock;
    std::deque<boost::shared_ptr<PreferenceChangeEvent>> events;
    Event changeEvent;
};

const int PreferenceChangeBlocker::DEFAULT_MAX_QUEUE_SIZE = 200;

PreferenceChangeBlocker::PreferenceChangeBlocker(Event& userEvent, const std::wstring& key,
                                                 bool isSystemNode)
    : state(newSharedState()), userEvent(userEvent) {
    KREL_TRACE_SCOPE_ARGS(CONSTRUCTOR_CONTEXT, L"Begin. Event <%ls> Key <%ls> Is System node <%d>.",
                          userEvent.toString().c_str(), key.c_str(),
                          static_cast<int>(isSystemNode));
    nodes.push_back(nodeOfKey(key, isSystemNode));
    waitObjects = {&userEvent, &state->getChangeEvent()};
    addListener();
}

PreferenceChangeBlocker::PreferenceChangeBlocker(Event& userEvent,
                                                 const std::vector<std::wstring>& keys,
                                                 bool isSystemNode)
    : state(newSharedState()), userEvent(userEvent) {
    KREL_TRACE_SCOPE_ARGS(CONSTRUCTOR_CONTEXT,
                          L"Begin. Event <%ls> Keys list size <%d> Is System node <%d>.",
                          userEvent.toString().c_str(), static_cast<int>(keys.size()),
                          static_cast<int>(isSystemNode));
    nodes = nodesOfKeys(keys, isSystemNode);
    waitObjects = {&userEvent, &state->getChangeEvent()};
    addListener();
}

PreferenceChangeBlocker::PreferenceChangeBlocker(Event& userEvent,
                                                 const boost::shared_ptr<Preferences>& node)
    : state(newSharedState()), userEvent(userEvent) {
    KREL_TRACE_SCOPE_ARGS(CONSTRUCTOR_CONTEXT, L"Begin. Event <%ls> Node <%p>.",
                          userEvent.toString().c_str(), node.get());
    ErrorUtils::isNullEx(node, CONSTRUCTOR_CONTEXT, L"Preference node");
    nodes.push_back(node);
    waitObjects = {&userEvent, &state->getChangeEvent()};
    addListener();
}

PreferenceChangeBlocker::PreferenceChangeBlocker(
    Event& userEvent, const std::list<boost::shared_ptr<Preferences>>& nodes)
    : state(newSharedState()), userEvent(userEvent) {
    KREL_TRACE_SCOPE_ARGS(CONSTRUCTOR_CONTEXT, L"Begin. Event <%ls> Nodes size <%d>.",
                          userEvent.toString().c_str(), static_cast<int>(nodes.size()));
    ErrorUtils::isEqualEx(nodes.size(), static_cast<std::size_t>(0), CONSTRUCTOR_CONTEXT,
                          L"Preference node list size");
    throwIfContainsNull(CONSTRUCTOR_CONTEXT, nodes);
    this->nodes = nodes;
    waitObjects = {&userEvent, &state->getChangeEvent()};
    addListener();
}

PreferenceChangeBlocker::~PreferenceChangeBlocker() {
    removeListener();
}

boost::shared_ptr<PreferenceChangeBlocker::SharedState> PreferenceChangeBlocker::newSharedState() {
    return boost::shared_ptr<SharedState>(new SharedState);
}

void PreferenceChangeBlocker::preferenceChange(
    const boost::shared_ptr<PreferenceChangeEvent>& event) {
    state->preferenceChange(event);
}

std::wstring PreferenceChangeBlocker::getClassName() const {
    return L"krel_std.PreferenceChangeBlocker";
}

std::wstring PreferenceChangeBlocker::toString() const {
    return L"PreferenceChangeBlocker{}";
}

// A wake-up that finds the queue empty (another caller took the event first) waits again for
// what is left of the time, so only a time-out or the caller's Event ends a wait empty-handed.
boost::shared_ptr<PreferenceChangeEvent> PreferenceChangeBlocker::getEvent(long ms) {
    boost::shared_ptr<PreferenceChangeEvent> event = state->take();
    if (event) {
        return event;
    }
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    long remaining = ms;
    for (;;) {
        const int signalled =
            Concurrency::waitForMultipleObjects(waitObjects, Concurrency::WAIT_FOR_ANY, remaining);
        if (signalled == 0) {
            return boost::shared_ptr<PreferenceChangeEvent>();
        }
        event = state->take();
        if (event || signalled < 0) {
            return event;
        }
        if (ms >= 0) {
            const long elapsed =
                static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
            if (elapsed >= ms) {
                return event;
            }
            remaining = ms - elapsed;
        }
    }
}

std::wstring PreferenceChangeBlocker::getNewValue(const std::wstring& key, long ms) {
    ErrorUtils::isEmptyEx(key, L"krel_std::PreferenceChangeBlocker::getNewValue", L"Key");
    for (;;) {
        const boost::shared_ptr<PreferenceChangeEvent> event = getEvent(ms);
        if (!event) {
            return std::wstring();
        }
        if (event->getKey() == key) {
            return event->getNewValue();
        }
    }
}

void PreferenceChangeBlocker::addListener() {
    const boost::shared_ptr<PreferenceChangeListener> listener = state;
    std::list<boost::shared_ptr<Preferences>>::const_iterator next = nodes.begin();
    try {
        for (; next != nodes.end(); ++next) {
            (*next)->addPreferenceChangeListener(listener);
        }
    } catch (...) {
        for (auto done = nodes.begin(); done != next; ++done) {
            try {
                (*done)->removePreferenceChangeListener(listener);
            } catch (const KrelException&) {
                // The registration that failed is what the caller hears of.
            }
        }
        throw;
    }
}

void PreferenceChangeBlocker::removeListener() {
    const wchar_t* const context = L"krel_std::PreferenceChangeBlocker::removeListener";
    const boost::shared_ptr<PreferenceChangeListener> listener = state;
    for (const boost::shared_ptr<Preferences>& node : nodes) {
        try {
            node->removePreferenceChangeListener(listener);
        } catch (const KrelException& e) {
            KREL_INTERNAL_DEBUG(context, L"Listener not removed from node: %ls",
                                e.getMessage().c_str());
        } catch (const std::exception& e) {
            KREL_INTERNAL_DEBUG(context, L"Listener not removed from node: %hs", e.what());
        }
    }
}

void PreferenceChangeBlocker::throwIfContainsNull(
    const wchar_t* context, const std::list<boost::shared_ptr<Preferences>>& nodes) {
    for (const boost::shared_ptr<Preferences>& node : nodes) {
        ErrorUtils::isNullEx(node, context, L"Preference node");
    }
}

} // namespace krel_std
