#include "connection/ConnectionManager.h"

#include <exception>
#include <vector>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "connection/ZeroStartConnectionPolicy.h"
#include "exception/KrelConnectException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "internal/GuardedCall.h"
#include "log/KrelLoggerSTD.h"
#include "log/StaticLog.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"
#include "thread/TimeUtils.h"

namespace krel_std {

namespace {

const wchar_t* const NOTIFICATION_KIND = L"notification";
const wchar_t* const RECOVERY_KIND = L"recovery";

const wchar_t* boolText(bool value) {
    return value ? L"true" : L"false";
}

const KrelLoggerSTD& stdLogger() {
    return Singleton<KrelLoggerSTD>::getInstance();
}

} // namespace

const int ConnectionManager::DEFAULT_HEARTBEAT_INTERVAL;
const int ConnectionManager::DEFAULT_RECOVERY_INTERVAL;

ConnectionManager::ConnectionManager(const std::wstring& name,
                                     const boost::shared_ptr<IConnectionImplementer>& implementer)
    : name(name), connImpl(implementer), isHeartBeatEnabledFlag(false),
      heartBeatInterval(DEFAULT_HEARTBEAT_INTERVAL), isRecoveryEnabledFlag(true),
      recoveryInterval(DEFAULT_RECOVERY_INTERVAL),
      connectionPolicy(new ZeroStartConnectionPolicy()), isTryAllServicesFlag(false),
      isKeepConnectionAliveFlag(false), isConnectedFlag(false), isInRecoveryFlag(false),
      isWantToBeConnectedFlag(false), lastOperationTime(0), isRecoveryThreadParked(false) {
    static const wchar_t* const context = L"krel_std::ConnectionManager::ConnectionManager";
    ErrorUtils::isEmptyEx(name, context, L"Connection manager name");
    ErrorUtils::isNullEx(implementer, context, L"Connection implementer");
}

ConnectionManager::~ConnectionManager() {
    shutdownIgnoringFailures();
}

// An application's disconnectConnection may throw anything, and an exception that leaves a
// destructor ends the process: it is traced and ignored, and the threads are stopped anyway.
void ConnectionManager::shutdownIgnoringFailures() {
    static const wchar_t* const context = L"krel_std::ConnectionManager::~ConnectionManager";
    const bool stopped = krel_std_internal::callSwallowing(
        [&] {
            shutdown();
            return true;
        },
        [&] {
            krel_std_internal::traceIgnoredFailure(context, KREL_SOURCE_FILE, __LINE__);
            return false;
        });
    if (!stopped) {
        waitForThreads(shutdownThreads());
    }
}

std::wstring ConnectionManager::getClassName() const {
    return L"krel_std.ConnectionManager";
}

boost::shared_ptr<IConnectionImplementer> ConnectionManager::getConnectionImplementer() {
    return connImpl;
}

std::wstring ConnectionManager::getName() {
    return name;
}

boost::shared_ptr<ISendHeartBeat> ConnectionManager::getHeartBeatSender() {
    AutoLock<Lock> guard(lock);
    return heartBeatSender;
}

bool ConnectionManager::isHeartBeatEnabled() {
    return isHeartBeatEnabledFlag;
}

int ConnectionManager::getHeartBeatInterval() {
    AutoLock<Lock> guard(lock);
    return heartBeatInterval;
}

bool ConnectionManager::isRecoveryEnabled() {
    return isRecoveryEnabledFlag;
}

int ConnectionManager::getRecoveryInterval() {
    AutoLock<Lock> guard(lock);
    return recoveryInterval;
}

bool ConnectionManager::isConnected() {
    return isConnectedFlag;
}

bool ConnectionManager::isInRecovery() {
    return isInRecoveryFlag;
}

std::wstring ConnectionManager::getHost() {
    AutoLock<Lock> guard(lock);
    return currentHost;
}

uint64_t ConnectionManager::getLastOperationTime() {
    AutoLock<Lock> guard(lock);
    return lastOperationTime;
}

boost::shared_ptr<IConnectionPolicy> ConnectionManager::getConnectionPolicy() {
    AutoLock<Lock> guard(lock);
    return connectionPolicy;
}

bool ConnectionManager::isTryAllServices() {
    return isTryAllServicesFlag;
}

bool ConnectionManager::isKeepConnectionAlive() {
    return isKeepConnectionAliveFlag;
}

void ConnectionManager::setHeartBeatSender(const boost::shared_ptr<ISendHeartBeat>& sender) {
    AutoLock<Lock> guard(lock);
    heartBeatSender = sender;
}

void ConnectionManager::setHeartBeatEnabled(bool enabled) {
    AutoLock<Lock> guard(lock);
    isHeartBeatEnabledFlag = enabled;
    if (enabled) {
        startRecoveryThreadIfNecessary();
    }
    wakeRecoveryThread();
}

void ConnectionManager::setHeartBeatInterval(int ms) {
    ErrorUtils::isBelowMinimumEx(ms, 1, L"krel_std::ConnectionManager::setHeartBeatInterval",
                                 L"Heart beat interval");
    AutoLock<Lock> guard(lock);
    heartBeatInterval = ms;
    wakeRecoveryThread();
}

void ConnectionManager::setRecoveryEnabled(bool enabled) {
    AutoLock<Lock> guard(lock);
    isRecoveryEnabledFlag = enabled;
    if (enabled) {
        doRecovery(false);
    } else {
        setInRecovery(false);
        wakeRecoveryThread();
    }
}

void ConnectionManager::setRecoveryInterval(int ms) {
    ErrorUtils::isBelowMinimumEx(ms, 1, L"krel_std::ConnectionManager::setRecoveryInterval",
                                 L"Recovery interval");
    AutoLock<Lock> guard(lock);
    recoveryInterval = ms;
    wakeRecoveryThread();
}

void ConnectionManager::setLastOperationTime() {
    AutoLock<Lock> guard(lock);
    lastOperationTime = TimeUtils::getCurrentTimeMs();
}

void ConnectionManager::setTryAllServices(bool tryAll) {
    AutoLock<Lock> guard(lock);
    isTryAllServicesFlag = tryAll;
}

void ConnectionManager::setKeepConnectionAlive(bool keepAlive) {
    AutoLock<Lock> guard(lock);
    isKeepConnectionAliveFlag = keepAlive;
}

void ConnectionManager::setConnectionPolicy(const boost::shared_ptr<IConnectionPolicy>& policy) {
    ErrorUtils::isNullEx(policy, L"krel_std::ConnectionManager::setConnectionPolicy",
                         L"Connection policy");
    AutoLock<Lock> guard(lock);
    connectionPolicy = policy;
}

// Locked: the host, the sender and the policy are assigned by the setters and the recovery
// thread while another thread may print them.
std::wstring ConnectionManager::toString() const {
    AutoLock<Lock> guard(lock);
    return L"ConnectionManager{name='" + name + L"',connImpl=" + connImpl->toString() +
           L",heartBeatSender=" + (heartBeatSender ? heartBeatSender->toString() : L"NULL") +
           L",isHeartBeatEnabledFlag=" + boolText(isHeartBeatEnabledFlag) + L",heartBeatInterval=" +
           StringUtils::toWString(heartBeatInterval) + L",isRecoveryEnabledFlag=" +
           boolText(isRecoveryEnabledFlag) + L",recoveryInterval=" +
           StringUtils::toWString(recoveryInterval) + L",connectionPolicy=" +
           connectionPolicy->toString() + L",isTryAllServicesFlag=" +
           boolText(isTryAllServicesFlag) + L",isKeepConnectionAliveFlag=" +
           boolText(isKeepConnectionAliveFlag) + L",isConnectedFlag=" + boolText(isConnectedFlag) +
           L",isInRecoveryFlag=" + boolText(isInRecoveryFlag) + L",isWantToBeConnectedFlag=" +
           boolText(isWantToBeConnectedFlag) + L",lastOperationTime=" +
           StringUtils::toWString(lastOperationTime) + L",currentHost='" + currentHost + L"'}";
}

void ConnectionManager::addListener(const boost::shared_ptr<IConnectionStatusListener>& listener) {
    ErrorUtils::isNullEx(listener, L"krel_std::ConnectionManager::addListener",
                         L"Connection listener");
    AutoLock<Lock> guard(lock);
    listeners.insert(listener);
    startNotificationThreadIfNecessary();
}

void ConnectionManager::removeListener(
    const boost::shared_ptr<IConnectionStatusListener>& listener) {
    ErrorUtils::isNullEx(listener, L"krel_std::ConnectionManager::removeListener",
                         L"Connection listener");
    AutoLock<Lock> guard(lock);
    listeners.erase(listener);
}

void ConnectionManager::connect() {
    static const wchar_t* const context = L"krel_std::ConnectionManager::connect";
    AutoLock<Lock> guard(lock);
    setWantToBeConnected(true);
    if (isInRecoveryFlag) {
        KrelConnectException refusal(getName() +
                                     L". Automatic recovery to service is in progress.");
        refusal.logDebug(context);
        throw refusal;
    }
    if (isConnected()) {
        KREL_INTERNAL_CALL(context, L"Already connected.");
        return;
    }
    try {
        if (isTryAllServicesFlag) {
            attemptAllHosts(false);
        } else {
            attemptOneHost();
        }
    } catch (KrelConnectException&) {
        stdLogger().STD2001(context, getName());
        doRecovery(true);
        KREL_INTERNAL_CALL(context, L"Doing recovery.");
        throw;
    }
    setConnected(true);
    setLastOperationTime();
    startRecoveryThreadIfNecessary();
    wakeRecoveryThread();
    const std::wstring host = getHost();
    logConnected(context, host);
    notifyListeners(true, host);
}

void ConnectionManager::disconnect() {
    static const wchar_t* const context = L"krel_std::ConnectionManager::disconnect";
    AutoLock<Lock> guard(lock);
    if (isKeepConnectionAliveFlag) {
        KREL_INTERNAL_CALL(context, L"Keep connection alive enabled.");
        return;
    }
    setWantToBeConnected(false);
    if (isConnected()) {
        const std::wstring host = getHost();
        callDisconnectConnection(connImpl);
        setCurrentHost(std::wstring());
        setConnected(false);
        wakeRecoveryThread();
        logDisconnected(context, host);
        notifyListeners(false, host);
    } else {
        setInRecovery(false);
        KREL_INTERNAL_CALL(context, L"Is not connected.");
    }
}

void ConnectionManager::doRecovery(bool dropActiveConnection) {
    static const wchar_t* const context = L"krel_std::ConnectionManager::doRecovery";
    AutoLock<Lock> guard(lock);
    if (dropActiveConnection && isConnected()) {
        const std::wstring host = getHost();
        try {
            callDisconnectConnection(connImpl);
        } catch (KrelException& e) {
            KREL_INTERNAL_DEBUG(context, L"Caught <%ls> which is ignored.", e.toString().c_str());
        }
        setInRecovery(false);
        setCurrentHost(std::wstring());
        setConnected(false);
        logDisconnected(context, host);
        notifyListeners(false, host);
    }
    if (isWantToBeConnectedFlag && isRecoveryEnabled() && !isConnected()) {
        KREL_INTERNAL_CALL(context, L"Initiate recovery.");
        setInRecovery(true);
        startRecoveryThreadIfNecessary();
        wakeRecoveryThread();
    }
}

void ConnectionManager::shutdown() {
    static const wchar_t* const context = L"krel_std::ConnectionManager::shutdown";
    std::vector<boost::shared_ptr<AbstractNotificationThread>> stopped;
    {
        AutoLock<Lock> guard(lock);
        setKeepConnectionAlive(false);
        try {
            disconnect();
        } catch (KrelConnectException& e) {
            KREL_INTERNAL_DEBUG(context, L"Caught <%ls> which is ignored.", e.toString().c_str());
        }
        stopped = shutdownThreads();
    }
    waitForThreads(stopped);
}

std::vector<boost::shared_ptr<AbstractNotificationThread>> ConnectionManager::shutdownThreads() {
    AutoLock<Lock> guard(lock);
    std::vector<boost::shared_ptr<AbstractNotificationThread>> stopped;
    if (recoveryThread) {
        recoveryThread->shutdown();
        stopped.push_back(recoveryThread);
    }
    if (notificationThread) {
        notificationThread->shutdown();
        stopped.push_back(notificationThread);
    }
    return stopped;
}

void ConnectionManager::waitForThreads(
    const std::vector<boost::shared_ptr<AbstractNotificationThread>>& threads) {
    if (threads.empty()) {
        return;
    }
    std::vector<Waitable*> waitables;
    for (const boost::shared_ptr<AbstractNotificationThread>& thread : threads) {
        waitables.push_back(thread.get());
    }
    Concurrency::waitForMultipleObjects(waitables, Concurrency::WAIT_FOR_ALL, -1);
}

void ConnectionManager::setWantToBeConnected(bool value) {
    KREL_INTERNAL_CALL(L"krel_std::ConnectionManager::setWantToBeConnected",
                       L"Set want to be connected <%d>.", value ? 1 : 0);
    isWantToBeConnectedFlag = value;
}

void ConnectionManager::setConnected(bool value) {
    KREL_INTERNAL_CALL(L"krel_std::ConnectionManager::setConnected", L"Set is connected <%d>.",
                       value ? 1 : 0);
    isConnectedFlag = value;
}

void ConnectionManager::setInRecovery(bool value) {
    KREL_INTERNAL_CALL(L"krel_std::ConnectionManager::setInRecovery", L"Set in recovery <%d>.",
                       value ? 1 : 0);
    isInRecoveryFlag = value;
}

void ConnectionManager::setCurrentHost(const std::wstring& host) {
    KREL_INTERNAL_CALL(L"krel_std::ConnectionManager::setCurrentHost", L"Set current host <%ls>.",
                       host.c_str());
    currentHost = host;
}

// Tries one service: the policy's first index when recovery is enabled, else 0; an index past
// the list falls back to 0.
void ConnectionManager::attemptOneHost() {
    int index =
        isRecoveryEnabledFlag ? connectionPolicy->getIndexForNextConnectionAttempt(false, true) : 0;
    std::wstring host;
    try {
        host = callUseServiceConnectionInfo(connImpl, index);
    } catch (KrelObjectNotFoundException&) {
        if (index == 0) {
            throw;
        }
        index = 0;
        host = callUseServiceConnectionInfo(connImpl, 0);
    }
    connectionPolicy->setIndexOfConnectionInfoInLastAttempt(index);
    callEstablishConnection(connImpl);
    connectionPolicy->setIndexOfConnectionInfoInLastSuccessful(index);
    setCurrentHost(host);
}

// Tries the services from the policy's first index to the end of the list, then once more
// from index 0 to the end, stopping at the first success.
void ConnectionManager::attemptAllHosts(bool isRecovery) {
    static const wchar_t* const context = L"krel_std::ConnectionManager::attemptAllHosts";
    bool wrapped = false;
    int index = connectionPolicy->getIndexForNextConnectionAttempt(isRecovery, true);
    for (;;) {
        KREL_INTERNAL_TRACE(context, L"Attempting host <%d>.", index);
        bool establishing = false;
        try {
            std::wstring host;
            try {
                host = callUseServiceConnectionInfo(connImpl, index);
            } catch (KrelObjectNotFoundException&) {
                if (wrapped || index == 0) {
                    throw;
                }
                wrapped = true;
                index = 0;
                host = callUseServiceConnectionInfo(connImpl, 0);
            }
            connectionPolicy->setIndexOfConnectionInfoInLastAttempt(index);
            establishing = true;
            callEstablishConnection(connImpl);
            connectionPolicy->setIndexOfConnectionInfoInLastSuccessful(index);
            setCurrentHost(host);
            return;
        } catch (KrelConnectException& e) {
            if (!establishing) {
                throw;
            }
            KREL_INTERNAL_DEBUG(context, L"Caught <%ls> which is ignored.", e.toString().c_str());
            index = connectionPolicy->getIndexForNextConnectionAttempt(isRecovery, false);
        } catch (KrelObjectNotFoundException& e) {
            if (index == 0) {
                KREL_INTERNAL_CALL(context, L"No service configured.");
                throw;
            }
            KrelConnectException failure(getName() + L". Unable to connect to any service.", e);
            failure.logDebug(context);
            throw failure;
        }
    }
}

void ConnectionManager::processRecovery() {
    static const wchar_t* const context = L"krel_std::ConnectionManager::processRecovery";
    AutoLock<Lock> guard(lock);
    try {
        attemptAllHosts(true);
    } catch (KrelConnectException&) {
        stdLogger().STD2001(context, getName());
        return;
    } catch (KrelObjectNotFoundException&) {
        stdLogger().STD2001(context, getName());
        return;
    }
    setInRecovery(false);
    if (isWantToBeConnectedFlag) {
        setConnected(true);
        setLastOperationTime();
        const std::wstring host = getHost();
        logConnected(context, host);
        notifyListeners(true, host);
    } else {
        // The application disconnected after this cycle was decided: close what it made.
        try {
            callDisconnectConnection(connImpl);
        } catch (KrelConnectException& e) {
            KREL_INTERNAL_DEBUG(context, L"Caught <%ls> which is ignored.", e.toString().c_str());
        }
    }
}

// A numbered message costs more to build than the connect or disconnect it reports, so these
// two are built only when the log writes them somewhere.
void ConnectionManager::logConnected(const wchar_t* context, const std::wstring& host) {
    if (StaticLog::isOutputHeard()) {
        stdLogger().STD0004(context, getName(), host);
    }
}

void ConnectionManager::logDisconnected(const wchar_t* context, const std::wstring& host) {
    if (StaticLog::isOutputHeard()) {
        stdLogger().STD0005(context, getName(), host);
    }
}

template <typename T>
void ConnectionManager::startThreadIfNecessary(
    boost::shared_ptr<AbstractNotificationThread>& thread, const wchar_t* kind) {
    static const wchar_t* const context = L"krel_std::ConnectionManager::startThreadIfNecessary";
    if (!thread) {
        KREL_INTERNAL_CALL(context, L"Creating %ls %ls thread.", name.c_str(), kind);
        thread.reset(new T(this));
    }
    if (thread->getState() != Thread::RUNNING) {
        KREL_INTERNAL_CALL(context, L"Starting %ls %ls thread.", name.c_str(), kind);
        thread->start();
        KREL_INTERNAL_CALL(context, L"Started %ls %ls thread.", name.c_str(), kind);
    }
}

void ConnectionManager::wakeThread(const boost::shared_ptr<AbstractNotificationThread>& thread,
                                   const wchar_t* kind, bool needed) {
    static const wchar_t* const context = L"krel_std::ConnectionManager::wakeThread";
    if (thread && thread->getState() == Thread::RUNNING) {
        KREL_INTERNAL_CALL(context, L"Waking %ls %ls thread.", name.c_str(), kind);
        if (needed) {
            thread->wakeup();
        }
    } else {
        KREL_INTERNAL_DEBUG(context, L"There is no %ls %ls thread or it is not alive.",
                            name.c_str(), kind);
    }
}

void ConnectionManager::startNotificationThreadIfNecessary() {
    startThreadIfNecessary<NotificationThread>(notificationThread, NOTIFICATION_KIND);
}

void ConnectionManager::startRecoveryThreadIfNecessary() {
    startThreadIfNecessary<RecoveryThread>(recoveryThread, RECOVERY_KIND);
}

void ConnectionManager::wakeNotificationThread() {
    wakeThread(notificationThread, NOTIFICATION_KIND, true);
}

// The flags change under the manager's lock before the wake-up, and the parked thread clears
// its mark before it reads them: either this sees the thread parked and the thread then reads
// the new flags, or it sees the thread busy and signals it, so the thread's next sleep ends at
// once. A parked thread that would only find nothing to do again is left asleep.
void ConnectionManager::wakeRecoveryThread() {
    wakeThread(recoveryThread, RECOVERY_KIND, !isRecoveryThreadParked || recoveryThreadHasWork());
}

bool ConnectionManager::recoveryThreadHasWork() const {
    return isInRecoveryFlag || (isConnectedFlag && isHeartBeatEnabledFlag);
}

void ConnectionManager::notifyListeners(bool isUp, const std::wstring& host) {
    if (listeners.empty()) {
        return;
    }
    startNotificationThreadIfNecessary();
    statusQueue.push_back(boost::shared_ptr<ServiceStatus>(new ServiceStatus(isUp, host)));
    wakeNotificationThread();
}

boost::shared_ptr<ConnectionManager::ServiceStatus> ConnectionManager::getStatus() {
    AutoLock<Lock> guard(lock);
    boost::shared_ptr<ServiceStatus> status;
    if (!statusQueue.empty()) {
        status = statusQueue.front();
        statusQueue.pop_front();
    }
    return status;
}

ConnectionManager::Listeners ConnectionManager::getListeners() {
    AutoLock<Lock> guard(lock);
    return listeners;
}

void ConnectionManager::notifyListener(const boost::shared_ptr<IConnectionStatusListener>& listener,
                                       bool isUp, const std::wstring& host) {
    krel_std_internal::callGuarded(
        L"krel_std::ConnectionManager::notifyListener",
        [&] {
            std::wstring call;
            StringUtils::sprintfStringAppend(
                call, L"%ls. IConnectionStatusListener::statusChanged(%d,%ls)", name.c_str(),
                isUp ? 1 : 0, host.c_str());
            return call;
        },
        [&] { doStatusChanged(listener, isUp, host); });
}

// A KrelConnectException of the sender means the connection is lost; any other failure leaves
// it alive. A heart beat does not count as traffic.
void ConnectionManager::sendHeartBeat(const boost::shared_ptr<ISendHeartBeat>& sender) {
    static const wchar_t* const context = L"krel_std::ConnectionManager::sendHeartBeat";
    bool lost = false;
    krel_std_internal::callGuarded(
        context, [this] { return name + L". ISendHeartBeat::sendHeartBeat"; },
        [&] {
            try {
                doSendHeartBeat(sender);
            } catch (KrelConnectException& e) {
                KREL_INTERNAL_DEBUG(
                    context,
                    L"%ls. ISendHeartBeat::sendHeartBeat throw <%ls> to indicate heart beat "
                    L"failed. Initiating recovery.",
                    name.c_str(), e.toString().c_str());
                lost = true;
                return;
            }
            KREL_INTERNAL_TRACE(context, L"Heartbeat successful.");
        });
    if (lost) {
        doRecovery(true);
    }
}

} // namespace krel_std
