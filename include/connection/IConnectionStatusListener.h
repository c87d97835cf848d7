// IConnectionStatusListener, told when a manager's connection comes up or goes down.
#pragma once

#include <string>

namespace krel_std {

// Hears when a connection manager's connection comes up (true) or goes down (false). Called on
// the manager's notification thread, never under the manager's lock.
//
// Held by shared pointers made from the concrete class; the destructor is protected so that
// nobody deletes one through this interface.
class IConnectionStatusListener {
public:
    virtual std::wstring toString() = 0;
    virtual void statusChanged(bool isUp, const std::wstring& host) = 0;

protected:
    ~IConnectionStatusListener() {}
};

} // namespace krel_std
