// The connection manager's queued status and its two worker threads.
#include <atomic>
#include <exception>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "connection/ConnectionManager.h"
#include "exception/KrelConnectException.h"
#include "internal/GuardedCall.h"
#include "log/KrelLoggerSTD.h"
#include "thread/TimeUtils.h"

namespace krel_std {

namespace {

// Sets a flag for the length of a scope; it is cleared however the scope ends.
class ScopedMark {
public:
    ScopedMark(std::atomic<bool>& flag, bool value) : flag(flag) { flag = value; }
    ~ScopedMark() { flag = false; }
    ScopedMark(const ScopedMark&) = delete;
    ScopedMark& operator=(const ScopedMark&) = delete;

private:
    std::atomic<bool>& flag;
};

} // namespace

ConnectionManager::ServiceStatus::ServiceStatus(bool isUp, const std::wstring& host)
    : isUpFlag(isUp), host(host) {}

std::wstring ConnectionManager::ServiceStatus::toString() {
    return std::wstring(L"ServiceStatus{isUpFlag=") + (isUpFlag ? L"true" : L"false") + L",host='" +
           host + L"'}";
}

ConnectionManager::NotificationThread::NotificationThread(ConnectionManager* manager)
    : AbstractNotificationThread(manager->getName() + L" notification thread"), manager(manager) {}

ConnectionManager::NotificationThread::~NotificationThread() {
    shutdown();
    join(-1);
}

std::wstring ConnectionManager::NotificationThread::toString() const {
    return L"NotificationThread{" + AbstractNotificationThread::toString() + L"}";
}

// The queue is drained once more after the shutdown flag is seen: shutdown() queues the loss
// of the connection it closes just before it sets the flag.
void ConnectionManager::NotificationThread::run() {
    while (!isShutdown()) {
        drainQueue();
        sleepForPeriod(-1);
    }
    drainQueue();
}

void ConnectionManager::NotificationThread::drainQueue() {
    for (;;) {
        const boost::shared_ptr<ServiceStatus> status = manager->getStatus();
        if (!status) {
            return;
        }
        deliver(*status);
    }
}

// Listeners are called from a copy of the set, without the manager's lock.
void ConnectionManager::NotificationThread::deliver(const ServiceStatus& status) {
    const Listeners listeners = manager->getListeners();
    for (const boost::shared_ptr<IConnectionStatusListener>& listener : listeners) {
        traceNotifying(*listener);
        manager->notifyListener(listener, status.isUpFlag, status.host);
    }
}

// The listener's own toString() may throw: the trace line is then left out, and the listener
// is still called.
void ConnectionManager::NotificationThread::traceNotifying(IConnectionStatusListener& listener) {
    krel_std_internal::callSwallowing([&] {
        KREL_INTERNAL_TRACE(L"krel_std::ConnectionManager::NotificationThread::deliver",
                            L"Notifying <%ls> listener.", listener.toString().c_str());
    });
}

ConnectionManager::RecoveryThread::RecoveryThread(ConnectionManager* manager)
    : AbstractNotificationThread(manager->getName() + L" recovery thread"), manager(manager) {}

ConnectionManager::RecoveryThread::~RecoveryThread() {
    shutdown();
    join(-1);
}

std::wstring ConnectionManager::RecoveryThread::toString() const {
    return L"RecoveryThread{" + AbstractNotificationThread::toString() + L"}";
}

void ConnectionManager::RecoveryThread::run() {
    while (!isShutdown()) {
        runStepHandlingFailures();
        sleepUntilNextStep();
    }
}

void ConnectionManager::RecoveryThread::runStep() {
    if (!manager->isWantToBeConnectedFlag) {
        return;
    }
    if (manager->isInRecovery()) {
        manager->processRecovery();
    } else if (manager->isConnected() && manager->isHeartBeatEnabled()) {
        sendHeartBeat();
    }
}

// An unexpected exception of the implementer counts as a failed cycle: the thread goes on, so
// the manager does not stay in recovery with nobody reconnecting.
void ConnectionManager::RecoveryThread::runStepHandlingFailures() {
    static const wchar_t* const context =
        L"krel_std::ConnectionManager::RecoveryThread::runStepHandlingFailures";
    const bool completed = krel_std_internal::callGuarded(
        context, [] { return std::wstring(L"The recovery step"); }, [this] { runStep(); });
    if (completed) {
        return;
    }
    Singleton<KrelLoggerSTD>::getInstance().STD2001(context, manager->getName());
}

long ConnectionManager::RecoveryThread::choosePeriod() {
    if (manager->isInRecovery()) {
        return manager->getRecoveryInterval();
    }
    if (manager->isConnected() && manager->isHeartBeatEnabled()) {
        return manager->getHeartBeatInterval();
    }
    return -1;
}

void ConnectionManager::RecoveryThread::sleepUntilNextStep() {
    const long period = choosePeriod();
    const ScopedMark parked(manager->isRecoveryThreadParked, period < 0);
    sleepForPeriod(period);
}

// Sends a beat only when the line has been quiet for longer than the heart-beat interval.
void ConnectionManager::RecoveryThread::sendHeartBeat() {
    const boost::shared_ptr<ISendHeartBeat> sender = manager->getHeartBeatSender();
    if (!sender) {
        return;
    }
    const int64_t interval = manager->getHeartBeatInterval();
    const uint64_t last = manager->getLastOperationTime();
    const uint64_t now = TimeUtils::getCurrentTimeMs();
    if (last + static_cast<uint64_t>(interval) < now) {
        try {
            manager->sendHeartBeat(sender);
        } catch (KrelConnectException&) {
            Singleton<KrelLoggerSTD>::getInstance().STD2000(
                L"krel_std::ConnectionManager::RecoveryThread::sendHeartBeat", manager->getName(),
                manager->getHost());
            manager->doRecovery(true);
        }
    }
}

} // namespace krel_std
