// PreferenceChangeNotifier, the process-wide dispatch of preference changes.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "base/Object.h"
#include "pattern/Singleton.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "thread/AbstractNotificationThread.h"

namespace krel_std {

class Lock;

// The process-wide post office of preference changes. Back ends register listeners under a
// listener path (an exact, case-sensitive text naming one node) and queue one event per changed
// preference; one dispatch thread takes the events in order and calls every listener of the
// event's path, with no lock held. The dispatch thread is started by the first registration and
// then runs for the life of the process.
//
// Lock order: a node's lock, then a back end's own locks, then this notifier's lock last; the
// notifier never calls out while holding its lock.
class PreferenceChangeNotifier : public Object,
                                 public Singleton<PreferenceChangeNotifier>,
                                 private boost::noncopyable {
    friend class Singleton<PreferenceChangeNotifier>;

public:
    typedef std::set<boost::shared_ptr<PreferenceChangeListener>, shared_ptr_lt> ListenerSet;

    // The most events the queue holds; one more is dropped with a warning.
    static const unsigned int MAX_QUEUE_SIZE;

    ~PreferenceChangeNotifier() override;

    // "PreferenceChangeNotifier{}".
    std::wstring toString() const override;

    // Registers the listener under the path, once; starts the dispatch thread when it does not
    // run. An empty path or listener throws KrelIllegalArgumentException.
    void addPreferenceChangeListener(const std::wstring& path,
                                     const boost::shared_ptr<PreferenceChangeListener>& listener);
    // Unregisters the listener; a path left without listeners loses its entry. Arguments are
    // checked as for addPreferenceChangeListener.
    void
    removePreferenceChangeListener(const std::wstring& path,
                                   const boost::shared_ptr<PreferenceChangeListener>& listener);
    // Listeners under the path, 0 for none. An empty path throws KrelIllegalArgumentException.
    unsigned int getNumberOfListeners(const std::wstring& path);
    // Queues the event (an empty pointer too) and returns at once; with MAX_QUEUE_SIZE events
    // waiting the event is dropped and STD3004 logged.
    void enqueuePreferenceChangeEvent(const boost::shared_ptr<PreferenceChangeEvent>& event);

    // Takes events from the queue in order and hands each to the listeners of its path. Whatever
    // one event's handling throws is logged as STD3003 and delivery goes on.
    class PreferenceChangeEventDispatchThread : public AbstractNotificationThread {
    public:
        explicit PreferenceChangeEventDispatchThread(PreferenceChangeNotifier& notifier);
        // Waits for the thread to end without a time limit.
        ~PreferenceChangeEventDispatchThread() override;

        // "PreferenceChangeEventDispatchThread{<AbstractNotificationThread's toString>}".
        std::wstring toString() const override;
        void run() override;

    private:
        void handlePreferenceChangeEvent(const boost::shared_ptr<PreferenceChangeEvent>& event);
        // Handles one event; anything thrown is logged and swallowed.
        void deliver(const boost::shared_ptr<PreferenceChangeEvent>& event);
        // The next event: the queue's head, or after a sleep whatever the wake-up brought; an
        // empty pointer for none.
        boost::shared_ptr<PreferenceChangeEvent> nextEvent();

        PreferenceChangeNotifier& notifier;
    };

private:
    PreferenceChangeNotifier();

    static const wchar_t* getSingletonName();
    // Guards listenerMap and eventQueue; made on first use and never destroyed.
    static Lock& lock();

    boost::shared_ptr<PreferenceChangeEvent> dequeuePreferenceChangeEvent();
    ListenerSet getPrefChgListeners(const std::wstring& path);
    void updatePreferenceChangeListenerMap(const std::wstring& path, const ListenerSet& listeners);
    void removePreferenceChangeListenerFromMap(const std::wstring& path);
    void startEventDispatchThreadIfNecessary();
    unsigned int getPreferenceChangeEventQueueSize();

    std::map<std::wstring, ListenerSet> listenerMap;
    std::deque<boost::shared_ptr<PreferenceChangeEvent>> eventQueue;
    PreferenceChangeEventDispatchThread dispatchThread;
};

} // namespace krel_std
