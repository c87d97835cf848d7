// The dispatcher that the dispatcher factory makes.
#pragma once

#include <map>
#include <set>

#include "base/Object.h"
#include "connection/IDispatcher.h"
#include "thread/Lock.h"

namespace krel_std {

class DispatcherFactory;

// Listeners by event name under one recursive lock; each listener object is held once per name
// and kept alive until it is removed. submit() copies the listeners of the event's name under
// the lock and calls them, in the order of their shared pointers, after releasing it: a listener
// may add or remove listeners (itself too), which counts from the next submit. A listener that
// throws a KrelException or a std::exception is traced at DEBUG and the others are called;
// anything else it throws reaches the submitter. A name whose listeners were all removed keeps
// its empty entry. Only the factory makes dispatchers.
//
// Argument checks throw KrelIllegalArgumentException: "Event listener value is NULL.",
// "Event name value is empty.", "Event value is NULL.".
class Dispatcher : public IDispatcher, public Object {
public:
    ~Dispatcher() override;

    std::wstring getKey() const override;
    // "Dispatcher{key='<key>'}".
    std::wstring toString() const override;
    // Empty names are skipped.
    void addListener(const boost::shared_ptr<IEventListener>& listener,
                     const std::vector<std::wstring>& names) override;
    void addListener(const boost::shared_ptr<IEventListener>& listener,
                     const std::wstring& name) override;
    // Removes the listener under every name.
    void removeListener(const boost::shared_ptr<IEventListener>& listener) override;
    // Empty names are skipped.
    void removeListener(const boost::shared_ptr<IEventListener>& listener,
                        const std::vector<std::wstring>& names) override;
    void removeListener(const boost::shared_ptr<IEventListener>& listener,
                        const std::wstring& name) override;
    void removeAllListeners() override;
    void submit(const boost::shared_ptr<IEvent>& event) override;

private:
    friend class DispatcherFactory;

    typedef std::set<boost::shared_ptr<IEventListener>> ListenerSet;

    explicit Dispatcher(const std::wstring& key);

    // The caller holds the lock.
    void insert(const boost::shared_ptr<IEventListener>& listener, const std::wstring& name);
    void erase(const boost::shared_ptr<IEventListener>& listener, const std::wstring& name);
    void dispatchTo(IEventListener& listener, const boost::shared_ptr<IEvent>& event) const;

    mutable Lock lock;
    const std::wstring key;
    std::map<std::wstring, ListenerSet> listeners;
};

} // namespace krel_std
