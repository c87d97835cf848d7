// IConnectionImplementer, the application's side of a connection manager.
#pragma once

#include <string>

namespace krel_std {

// The application's side of a connection manager: it knows the services by index (0, 1, 2 ...
// without gaps) and opens and closes the real connection.
//
// Held by shared pointers made from the concrete class; the destructor is protected so that
// nobody deletes one through this interface.
class IConnectionImplementer {
public:
    virtual std::wstring toString() = 0;
    // The text that identifies the service at index (its host); throws
    // KrelObjectNotFoundException for the first index past the known services.
    virtual std::wstring useServiceConnectionInfo(int index) = 0;
    // Opens the connection to the service chosen last; throws KrelConnectException when the
    // connection cannot be made.
    virtual void establishConnection() = 0;
    virtual void disconnectConnection() = 0;

protected:
    ~IConnectionImplementer() {}
};

} // namespace krel_std
