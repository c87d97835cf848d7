// What a dispatcher offers: listeners registered by event name, and events handed to them.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "base/IEvent.h"
#include "base/IEventListener.h"

namespace krel_std {

// Hands each submitted event to the listeners registered for the event's name, on the
// submitting thread. Dispatchers are owned through shared pointers made from their own class,
// so the destructor is not virtual; it is protected, so a dispatcher cannot be deleted through
// this interface.
class IDispatcher {
public:
    virtual std::wstring getKey() const = 0;
    virtual std::wstring toString() const = 0;
    virtual void addListener(const boost::shared_ptr<IEventListener>& listener,
                             const std::vector<std::wstring>& names) = 0;
    virtual void addListener(const boost::shared_ptr<IEventListener>& listener,
                             const std::wstring& name) = 0;
    virtual void removeListener(const boost::shared_ptr<IEventListener>& listener) = 0;
    virtual void removeListener(const boost::shared_ptr<IEventListener>& listener,
                                const std::vector<std::wstring>& names) = 0;
    virtual void removeListener(const boost::shared_ptr<IEventListener>& listener,
                                const std::wstring& name) = 0;
    virtual void removeAllListeners() = 0;
    virtual void submit(const boost::shared_ptr<IEvent>& event) = 0;

protected:
    ~IDispatcher() {}
};

} // namespace krel_std
