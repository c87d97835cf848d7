// AbstractConnectionManager, the operations of a connection manager.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "connection/IConnectionImplementer.h"
#include "connection/IConnectionStatusListener.h"
#include "connection/ISendHeartBeat.h"

namespace krel_std {

// The operations of a connection manager. The five protected call... and do... operations are
// the only places where the working operations of the application's interfaces are called, so
// a subclass can wrap them.
//
// A manager is owned through its concrete class; the destructor is protected so that nobody
// deletes one through this interface.
class AbstractConnectionManager {
public:
    virtual std::wstring getClassName() const = 0;
    virtual boost::shared_ptr<IConnectionImplementer> getConnectionImplementer() = 0;
    virtual std::wstring getName() = 0;
    virtual boost::shared_ptr<ISendHeartBeat> getHeartBeatSender() = 0;
    virtual bool isHeartBeatEnabled() = 0;
    virtual int getHeartBeatInterval() = 0;
    virtual bool isRecoveryEnabled() = 0;
    virtual int getRecoveryInterval() = 0;
    virtual bool isConnected() = 0;
    virtual bool isInRecovery() = 0;
    virtual std::wstring getHost() = 0;
    virtual void setHeartBeatSender(const boost::shared_ptr<ISendHeartBeat>& sender) = 0;
    virtual void setHeartBeatEnabled(bool enabled) = 0;
    virtual void setHeartBeatInterval(int ms) = 0;
    virtual void setRecoveryEnabled(bool enabled) = 0;
    virtual void setRecoveryInterval(int ms) = 0;
    // Marks traffic on the connection; the base does nothing.
    virtual void setLastOperationTime();
    virtual std::wstring toString() const = 0;
    virtual void addListener(const boost::shared_ptr<IConnectionStatusListener>& listener) = 0;
    virtual void removeListener(const boost::shared_ptr<IConnectionStatusListener>& listener) = 0;
    virtual void connect() = 0;
    virtual void disconnect() = 0;
    virtual void doRecovery(bool dropActiveConnection) = 0;
    virtual void shutdown() = 0;

protected:
    ~AbstractConnectionManager() {}

    virtual std::wstring
    callUseServiceConnectionInfo(const boost::shared_ptr<IConnectionImplementer>& implementer,
                                 int index);
    virtual void
    callEstablishConnection(const boost::shared_ptr<IConnectionImplementer>& implementer);
    virtual void
    callDisconnectConnection(const boost::shared_ptr<IConnectionImplementer>& implementer);
    virtual void doStatusChanged(const boost::shared_ptr<IConnectionStatusListener>& listener,
                                 bool isUp, const std::wstring& host);
    virtual void doSendHeartBeat(const boost::shared_ptr<ISendHeartBeat>& sender);
};

} // namespace krel_std
