// ConnectionManager, which keeps a client connected to one of several services.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <set>
#include <vector>

#include "base/Object.h"
#include "connection/AbstractConnectionManager.h"
#include "connection/IConnectionPolicy.h"
#include "thread/AbstractNotificationThread.h"
#include "thread/Lock.h"

namespace krel_std {

// Keeps a client connected to one of several services. The application's implementer knows
// the services by index and opens and closes the real connection; the manager picks the index
// through its connection policy, keeps the state (wanted W, connected C, in recovery R),
// reports every connection made or closed to its listeners on a notification thread, and on a
// recovery thread reconnects after a failure and sends heart beats while the line is quiet.
//
// One recursive lock guards the members; the implementer is always called with it held, the
// listeners and the heart-beat sender never. The flags are read without the lock.
//
// Threads: "<name> notification thread" and "<name> recovery thread" are made on first need
// and stopped and joined by shutdown(). shutdown() and the destructor wait for both threads to
// end, so they must not run on either of them (not from a listener, the heart-beat sender or
// implementer code run by a recovery cycle).
class ConnectionManager : public AbstractConnectionManager, public Object {
public:
    static const int DEFAULT_HEARTBEAT_INTERVAL = 30000;
    static const int DEFAULT_RECOVERY_INTERVAL = 15000;

    // One queued status change for the listeners.
    class ServiceStatus final {
    public:
        ServiceStatus(bool isUp, const std::wstring& host);
        // "ServiceStatus{isUpFlag=true,host='h'}".
        virtual std::wstring toString();

        bool isUpFlag;
        std::wstring host;
    };

    // Delivers the queued statuses to the listeners, one at a time and in order. A status queued
    // before shutdown is still delivered before the thread ends: the last disconnect's loss
    // reaches the listeners.
    class NotificationThread : public AbstractNotificationThread {
    public:
        explicit NotificationThread(ConnectionManager* manager);
        ~NotificationThread() override;
        // "NotificationThread{" + the base's text + "}".
        std::wstring toString() const override;
        void run() override;

    private:
        // Delivers statuses until the queue is empty.
        void drainQueue();
        void deliver(const ServiceStatus& status);
        void traceNotifying(IConnectionStatusListener& listener);

        ConnectionManager* manager;
    };

    // Runs recovery cycles while in recovery and heart beats while connected.
    class RecoveryThread : public AbstractNotificationThread {
    public:
        explicit RecoveryThread(ConnectionManager* manager);
        ~RecoveryThread() override;
        // "RecoveryThread{" + the base's text + "}".
        std::wstring toString() const override;
        void run() override;

    private:
        // One recovery cycle or one heart-beat step, whichever the flags call for.
        void runStep();
        void runStepHandlingFailures();
        long choosePeriod();
        // Sleeps for the period the flags call for; while it sleeps until woken, the manager
        // knows the thread has nothing to do.
        void sleepUntilNextStep();
        void sendHeartBeat();

        ConnectionManager* manager;
    };

    // Throws KrelIllegalArgumentException for an empty name or implementer. Starts no thread.
    ConnectionManager(const std::wstring& name,
                      const boost::shared_ptr<IConnectionImplementer>& implementer);
    // Shuts down; whatever that lets through is traced and ignored.
    ~ConnectionManager() override;

    // "krel_std.ConnectionManager".
    std::wstring getClassName() const override;
    boost::shared_ptr<IConnectionImplementer> getConnectionImplementer() override;
    std::wstring getName() override;
    boost::shared_ptr<ISendHeartBeat> getHeartBeatSender() override;
    bool isHeartBeatEnabled() override;
    int getHeartBeatInterval() override;
    bool isRecoveryEnabled() override;
    int getRecoveryInterval() override;
    bool isConnected() override;
    bool isInRecovery() override;
    std::wstring getHost() override;
    // An empty sender means that no heart beats are sent.
    void setHeartBeatSender(const boost::shared_ptr<ISendHeartBeat>& sender) override;
    void setHeartBeatEnabled(bool enabled) override;
    // Intervals below 1 ms throw KrelIllegalArgumentException.
    void setHeartBeatInterval(int ms) override;
    void setRecoveryEnabled(bool enabled) override;
    void setRecoveryInterval(int ms) override;
    void setLastOperationTime() override;
    std::wstring toString() const override;
    void addListener(const boost::shared_ptr<IConnectionStatusListener>& listener) override;
    void removeListener(const boost::shared_ptr<IConnectionStatusListener>& listener) override;
    // Throws KrelConnectException when in recovery or when the attempt fails (recovery then
    // goes on in the background when enabled); other exceptions of the implementer pass on.
    void connect() override;
    // Does nothing while keep-alive is set; otherwise ends the wish to be connected, closes a
    // connection or ends a recovery. An exception of the implementer passes on.
    void disconnect() override;
    // Drops a connection when asked to, then begins recovery when a connection is wanted,
    // missing and recovery is enabled.
    void doRecovery(bool dropActiveConnection) override;
    // Disconnects (keep-alive cleared), then stops and waits for both threads.
    void shutdown() override;

    uint64_t getLastOperationTime();
    boost::shared_ptr<IConnectionPolicy> getConnectionPolicy();
    bool isTryAllServices();
    bool isKeepConnectionAlive();
    void setTryAllServices(bool tryAll);
    void setKeepConnectionAlive(bool keepAlive);
    // An empty policy throws KrelIllegalArgumentException.
    void setConnectionPolicy(const boost::shared_ptr<IConnectionPolicy>& policy);

private:
    typedef std::set<boost::shared_ptr<IConnectionStatusListener>> Listeners;

    // The flag and host setters, the thread starters and wakers, logConnected, logDisconnected
    // and notifyListeners run with the manager's lock held by their callers (the public
    // operations and processRecovery), so they do not take it again.
    void setWantToBeConnected(bool value);
    void setConnected(bool value);
    void setInRecovery(bool value);
    void setCurrentHost(const std::wstring& host);

    void attemptOneHost();
    void attemptAllHosts(bool isRecovery);
    // Runs one recovery cycle; a failed cycle leaves the manager in recovery.
    void processRecovery();
    // The destructor's shutdown: failures are traced and the threads are stopped anyway.
    void shutdownIgnoringFailures();
    // Sets the threads' shutdown flags and answers the threads to wait for.
    std::vector<boost::shared_ptr<AbstractNotificationThread>> shutdownThreads();
    static void
    waitForThreads(const std::vector<boost::shared_ptr<AbstractNotificationThread>>& threads);

    template <typename T>
    void startThreadIfNecessary(boost::shared_ptr<AbstractNotificationThread>& thread,
                                const wchar_t* kind);
    // A wake-up that is not needed is traced like any other but does not signal the thread.
    void wakeThread(const boost::shared_ptr<AbstractNotificationThread>& thread,
                    const wchar_t* kind, bool needed);
    void startNotificationThreadIfNecessary();
    void startRecoveryThreadIfNecessary();
    void wakeNotificationThread();
    void wakeRecoveryThread();
    // Whether a recovery thread that re-read the flags now would run a step or sleep for a
    // period: in recovery, or connected with heart beats enabled.
    bool recoveryThreadHasWork() const;

    // STD0004 and STD0005 with the manager's name.
    void logConnected(const wchar_t* context, const std::wstring& host);
    void logDisconnected(const wchar_t* context, const std::wstring& host);
    void notifyListeners(bool isUp, const std::wstring& host);
    boost::shared_ptr<ServiceStatus> getStatus();
    Listeners getListeners();
    void notifyListener(const boost::shared_ptr<IConnectionStatusListener>& listener, bool isUp,
                        const std::wstring& host);
    void sendHeartBeat(const boost::shared_ptr<ISendHeartBeat>& sender);

    mutable Lock lock;
    const std::wstring name;
    const boost::shared_ptr<IConnectionImplementer> connImpl;
    Listeners listeners;
    std::deque<boost::shared_ptr<ServiceStatus>> statusQueue;
    boost::shared_ptr<AbstractNotificationThread> notificationThread;
    boost::shared_ptr<ISendHeartBeat> heartBeatSender;
    boost::shared_ptr<AbstractNotificationThread> recoveryThread;
    std::atomic<bool> isHeartBeatEnabledFlag;
    int heartBeatInterval;
    std::atomic<bool> isRecoveryEnabledFlag;
    int recoveryInterval;
    boost::shared_ptr<IConnectionPolicy> connectionPolicy;
    std::atomic<bool> isTryAllServicesFlag;
    std::atomic<bool> isKeepConnectionAliveFlag;
    std::atomic<bool> isConnectedFlag;
    std::atomic<bool> isInRecoveryFlag;
    std::atomic<bool> isWantToBeConnectedFlag;
    uint64_t lastOperationTime;
    std::wstring currentHost;
    // Set by the recovery thread while it sleeps until woken: it then found nothing to do, and
    // every change that gives it work wakes it. A change that leaves it nothing to do need not
    // signal it, which would only make it read the flags and sleep again.
    std::atomic<bool> isRecoveryThreadParked;
};

} // namespace krel_std
