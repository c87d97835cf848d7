// IEvent, an event that a dispatcher hands to the listeners registered for its name.
#pragma once

#include <string>

namespace krel_std {

// An event that a dispatcher hands to the listeners registered for its name. Events are owned
// through shared pointers made from their own class, so the destructor is not virtual; it is
// protected, so an event cannot be deleted through this interface.
class IEvent {
public:
    // The event's text, used in messages.
    virtual std::wstring toString() const = 0;
    // The event's name, which selects the listeners.
    virtual std::wstring getName() const = 0;
    // Where the event comes from; dispatchers do not use it.
    virtual std::wstring getSource() const = 0;

protected:
    ~IEvent() {}
};

} // namespace krel_std
