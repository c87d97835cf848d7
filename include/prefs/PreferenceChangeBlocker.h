// PreferenceChangeBlocker, which lets threads wait for a preference change.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <list>
#include <string>
#include <vector>

#include "base/Object.h"
#include "prefs/PreferenceChangeListener.h"

namespace krel_std {

class Event;
class Preferences;
class Waitable;

// Lets threads wait until a preference of one or more nodes changes. The blocker registers on
// its nodes when it is made and keeps the events it receives (at most DEFAULT_MAX_QUEUE_SIZE)
// until callers take them with getEvent or getNewValue. A wait ends with an event, at its
// time-out, or when the caller's Event is signalled; the caller's Event must outlive the
// blocker.
//
// What the notifier calls is a shared state owned by the pointer registered with the nodes: it
// holds the queue, its lock and the change signal, so a delivery still under way on the
// dispatch thread while the blocker is destroyed works on live memory.
class PreferenceChangeBlocker : public PreferenceChangeListener,
                                public Object,
                                private boost::noncopyable {
public:
    static const int DEFAULT_MAX_QUEUE_SIZE;

    // The node of the path key (PreferencesUtils::getNode) in the system or the user tree.
    PreferenceChangeBlocker(Event& userEvent, const std::wstring& key, bool isSystemNode);
    // One node per path key, in order; an empty list throws KrelIllegalArgumentException
    // "Keys size value is equal to 0.".
    PreferenceChangeBlocker(Event& userEvent, const std::vector<std::wstring>& keys,
                            bool isSystemNode);
    PreferenceChangeBlocker(Event& userEvent, const boost::shared_ptr<Preferences>& node);
    // An empty list throws KrelIllegalArgumentException
    // "Preference node list size value is equal to 0.".
    PreferenceChangeBlocker(Event& userEvent,
                            const std::list<boost::shared_ptr<Preferences>>& nodes);
    // Unregisters from every node; a node that refuses (a removed one) is skipped. Never throws.
    ~PreferenceChangeBlocker() override;

    // Queues the event as the notifier would deliver it.
    void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) override;
    // "krel_std.PreferenceChangeBlocker".
    virtual std::wstring getClassName() const;
    // "PreferenceChangeBlocker{}".
    std::wstring toString() const override;

    // The oldest received event, waiting up to ms milliseconds (negative: without end) when
    // there is none; empty on time-out or when the caller's Event is signalled. Each event goes
    // to exactly one caller.
    boost::shared_ptr<PreferenceChangeEvent> getEvent(long ms);
    // The new value of the next received change of key (other events are dropped, each
    // getEvent waiting up to ms again); empty on time-out or cancellation. An empty key throws
    // KrelIllegalArgumentException "Key value is empty.".
    std::wstring getNewValue(const std::wstring& key, long ms);

private:
    class SharedState;

    PreferenceChangeBlocker();

    // Registers the shared state on every node in order; a failure undoes the registrations
    // already made and passes on.
    void addListener();
    // Unregisters from every node in order, tracing and skipping failures.
    void removeListener();
    static void throwIfContainsNull(const wchar_t* context,
                                    const std::list<boost::shared_ptr<Preferences>>& nodes);
    static boost::shared_ptr<SharedState> newSharedState();

    boost::shared_ptr<SharedState> state;
    std::list<boost::shared_ptr<Preferences>> nodes;
    Event& userEvent;
    // userEvent, then the state's change signal: a cancellation wins over a change.
    std::vector<Waitable*> waitObjects;
};

} // namespace krel_std
