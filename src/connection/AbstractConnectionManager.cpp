#include "connection/AbstractConnectionManager.h"

namespace krel_std {

void AbstractConnectionManager::setLastOperationTime() {}

std::wstring AbstractConnectionManager::callUseServiceConnectionInfo(
    const boost::shared_ptr<IConnectionImplementer>& implementer, int index) {
    return implementer->useServiceConnectionInfo(index);
}

void AbstractConnectionManager::callEstablishConnection(
    const boost::shared_ptr<IConnectionImplementer>& implementer) {
    implementer->establishConnection();
}

void AbstractConnectionManager::callDisconnectConnection(
    const boost::shared_ptr<IConnectionImplementer>& implementer) {
    implementer->disconnectConnection();
}

void AbstractConnectionManager::doStatusChanged(
    const boost::shared_ptr<IConnectionStatusListener>& listener, bool isUp,
    const std::wstring& host) {
    listener->statusChanged(isUp, host);
}

void AbstractConnectionManager::doSendHeartBeat(const boost::shared_ptr<ISendHeartBeat>& sender) {
    sender->sendHeartBeat();
}

} // namespace krel_std
