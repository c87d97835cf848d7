// ISendHeartBeat, which sends one heart beat over a connection manager's connection.
#pragma once

#include <string>

namespace krel_std {

// Sends one heart beat over a connection manager's connection. KrelConnectException means the
// beat failed and the connection is lost; any other exception leaves the connection alive.
// Called on the manager's recovery thread, never under the manager's lock.
//
// Held by shared pointers made from the concrete class; the destructor is protected so that
// nobody deletes one through this interface.
class ISendHeartBeat {
public:
    virtual std::wstring toString() = 0;
    virtual void sendHeartBeat() = 0;

protected:
    ~ISendHeartBeat() {}
};

} // namespace krel_std
