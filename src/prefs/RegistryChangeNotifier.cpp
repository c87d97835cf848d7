#include "prefs/RegistryChangeNotifier.h"

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "internal/GuardedCall.h"
#include "log/KrelLoggerSTD.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "prefs/RegistryListener.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"
#include "windows/RegistryValueText.h"

namespace krel_std {

namespace {

typedef AutoLock<Lock> Guard;

const wchar_t* const RUN_CONTEXT = L"krel_std::RegistryChangeNotifier::RegistryCheckingThread::run";
const wchar_t* const START_MONITORING = L"krel_std::RegistryChangeNotifier::startMonitoringKey";
const wchar_t* const STOP_MONITORING = L"krel_std::RegistryChangeNotifier::stopMonitoringKey";

// The pause that gives the checking thread time to take a signal.
const long SIGNAL_PAUSE = 10;
// The pause before the thread object joins its thread.
const long SHUTDOWN_PAUSE = 50;

HKEY asHKey(int hive) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(hive));
}

PreferenceChangeNotifier& preferenceNotifier() {
    return Singleton<PreferenceChangeNotifier>::getInstance();
}

template <class E> [[noreturn]] void fail(const std::wstring& message, const wchar_t* context) {
    E exception(message);
    exception.logDebug(context);
    throw exception;
}

// A signal for a key that is no longer watched, or whose key went away: the set is rebuilt.
void forgetRemovedListener(RegistryChangeNotifier::Handles& handles, const wchar_t* context) {
    KREL_INTERNAL_CALL(context, L"Got signal for listener that is removed.");
    handles.update();
}

} // namespace

const unsigned int RegistryChangeNotifier::MAX_WATCHED_KEYS = MAXIMUM_WAIT_OBJECTS - 2;

RegistryChangeNotifier::RegistryChangeNotifier()
    : terminateHandle(nullptr), updateHandle(nullptr), isShutdownFlag(false),
      checkingThread(*this) {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::RegistryChangeNotifier";
    KREL_TRACE_SCOPE(context);
    try {
        terminateHandle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ErrorUtils::isNullEx(terminateHandle, context, L"Terminate event");
        updateHandle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ErrorUtils::isNullEx(updateHandle, context, L"Update event");
    } catch (const KrelIllegalArgumentException&) {
        if (terminateHandle != nullptr) {
            CloseHandle(terminateHandle);
        }
        throw;
    }
}

RegistryChangeNotifier::~RegistryChangeNotifier() {
    shutdown();
}

const wchar_t* RegistryChangeNotifier::getSingletonName() {
    return L"krel_std::RegistryChangeNotifier";
}

Lock& RegistryChangeNotifier::lock() {
    static Lock& notifierLock = *new Lock;
    return notifierLock;
}

std::wstring RegistryChangeNotifier::toString() const {
    return std::wstring(L"RegistryChangeNotifier{isShutdownFlag=") +
           (isShutdownFlag ? L"true" : L"false") + L"}";
}

void RegistryChangeNotifier::addPreferenceChangeListener(
    int hive, const std::wstring& keyPath, const std::wstring& listenerPath,
    const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::addPreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Root <%d> Key <%ls> Path <%ls> Listener <%p>.", hive,
                          keyPath.c_str(), listenerPath.c_str(), listener.get());
    Guard guard(lock());
    checkShutdown(context);
    const unsigned int before = preferenceNotifier().getNumberOfListeners(listenerPath);
    preferenceNotifier().addPreferenceChangeListener(listenerPath, listener);
    if (before == 0) {
        try {
            startMonitoringKey(hive, keyPath);
        } catch (const KrelException&) {
            preferenceNotifier().removePreferenceChangeListener(listenerPath, listener);
            throw;
        }
    }
}

void RegistryChangeNotifier::removePreferenceChangeListener(
    int hive, const std::wstring& keyPath, const std::wstring& listenerPath,
    const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context =
        L"krel_std::RegistryChangeNotifier::removePreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Root <%d> Key <%ls> Path <%ls> Listener <%p>.", hive,
                          keyPath.c_str(), listenerPath.c_str(), listener.get());
    Guard guard(lock());
    checkShutdown(context);
    const unsigned int before = preferenceNotifier().getNumberOfListeners(listenerPath);
    preferenceNotifier().removePreferenceChangeListener(listenerPath, listener);
    // Only the removal that took the path from one listener to none ends the watch: removing
    // a listener that was never registered leaves the registered one served.
    if (before == 1 && preferenceNotifier().getNumberOfListeners(listenerPath) == 0) {
        try {
            stopMonitoringKey(hive, keyPath);
        } catch (const KrelObjectNotFoundException&) {
            // The key was no longer watched.
        }
    }
}

RegistryChangeNotifier::HKeyType RegistryChangeNotifier::convertHKeyToHKeyType(int hive) {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::convertHKeyToHKeyType";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Root <%d>.", hive);
    HKeyType type;
    if (hive == static_cast<int>(0x80000002u)) {
        type = LOCAL_MACHINE;
    } else if (hive == static_cast<int>(0x80000001u)) {
        type = CURRENT_USER;
    } else {
        fail<KrelIllegalArgumentException>(
            L"Invalid root: <" + krel_std_internal::rootText(asHKey(hive)) + L">.", context);
    }
    KREL_INTERNAL_CALL(context, L"Return <%d>.", static_cast<int>(type));
    return type;
}

void RegistryChangeNotifier::startMonitoringKey(int hive, const std::wstring& keyPath) {
    KREL_TRACE_SCOPE_ARGS(START_MONITORING, L"Begin. Root <%d> Key <%ls>.", hive, keyPath.c_str());
    ErrorUtils::isEmptyEx(keyPath, START_MONITORING, L"Key");
    const HKeyType type = convertHKeyToHKeyType(hive);
    Guard guard(lock());
    checkShutdown(START_MONITORING);
    ListenerMap& listeners = listenerMaps[type];
    ListenerMap::iterator found = listeners.find(keyPath);
    const bool added = found == listeners.end();
    if (added) {
        // The wait of the checking thread holds two events of its own besides the keys'.
        if (listenerMaps[0].size() + listenerMaps[1].size() >= MAX_WATCHED_KEYS) {
            fail<KrelOutOfResourcesException>(L"Unable to monitor more than 62 registry keys.",
                                              START_MONITORING);
        }
        KREL_INTERNAL_DEBUG(START_MONITORING, L"Adding listener for key <%ls>.", keyPath.c_str());
        found =
            listeners
                .insert(std::make_pair(keyPath, boost::shared_ptr<RegistryListener>(
                                                    new RegistryListener(asHKey(hive), keyPath))))
                .first;
    }
    const boost::shared_ptr<RegistryListener> listener = found->second;
    try {
        listener->openKey(asHKey(hive), keyPath, KEY_READ);
        listener->updateKeyValues();
        listener->registerListener();
    } catch (const KrelException&) {
        if (added) {
            KREL_INTERNAL_DEBUG(START_MONITORING,
                                L"Removing listener for key <%ls> because an exception was "
                                L"caught.",
                                keyPath.c_str());
            listeners.erase(keyPath);
        }
        throw;
    }
    if (added) {
        startRegistryCheckingThreadIfNotRunning();
        updateRegistryCheckingThread();
    }
}

void RegistryChangeNotifier::stopMonitoringKey(int hive, const std::wstring& keyPath) {
    KREL_TRACE_SCOPE_ARGS(STOP_MONITORING, L"Begin. Root <%d> Key <%ls>.", hive, keyPath.c_str());
    ErrorUtils::isEmptyEx(keyPath, STOP_MONITORING, L"Key");
    const HKeyType type = convertHKeyToHKeyType(hive);
    Guard guard(lock());
    checkShutdown(STOP_MONITORING);
    ListenerMap& listeners = listenerMaps[type];
    const ListenerMap::iterator found = listeners.find(keyPath);
    if (found == listeners.end()) {
        fail<KrelObjectNotFoundException>(L"Key <" + keyPath + L"> is not being monitored.",
                                          STOP_MONITORING);
    }
    // The checking thread's wait set keeps its own reference: the listener, its event and its
    // key live until the thread has rebuilt the set.
    listeners.erase(found);
    updateRegistryCheckingThread();
}

void RegistryChangeNotifier::startRegistryCheckingThreadIfNotRunning() {
    const wchar_t* const context =
        L"krel_std::RegistryChangeNotifier::startRegistryCheckingThreadIfNotRunning";
    KREL_TRACE_SCOPE(context);
    Guard guard(lock());
    if (checkingThread.getState() == Thread::RUNNING) {
        KREL_INTERNAL_CALL(context, L"Registry checking thread already running.");
        return;
    }
    try {
        checkingThread.start();
    } catch (const KrelException& exception) {
        KrelIllegalStateException failure(L"Could not start registry checking thread.", exception);
        failure.logDebug(context);
        throw failure;
    }
}

void RegistryChangeNotifier::updateRegistryCheckingThread() {
    Guard guard(lock());
    if (updateHandle != nullptr) {
        SetEvent(updateHandle);
        Thread::sleep(SIGNAL_PAUSE);
    }
}

void RegistryChangeNotifier::stopRegistryCheckingThread() {
    Guard guard(lock());
    if (terminateHandle != nullptr) {
        SetEvent(terminateHandle);
        Thread::sleep(SIGNAL_PAUSE);
    }
}

RegistryChangeNotifier::ListenerMap RegistryChangeNotifier::getListeners(HKeyType type) const {
    Guard guard(lock());
    return listenerMaps[type];
}

void RegistryChangeNotifier::checkShutdown(const wchar_t* context) const {
    Guard guard(lock());
    if (isShutdownFlag) {
        fail<KrelIllegalStateException>(L"RegistryChangeNotifier is shutdown.", context);
    }
}

bool RegistryChangeNotifier::isShutdown() const {
    Guard guard(lock());
    return isShutdownFlag;
}

HANDLE RegistryChangeNotifier::getTerminateHandle() const {
    return terminateHandle;
}

HANDLE RegistryChangeNotifier::getUpdateHandle() const {
    return updateHandle;
}

void RegistryChangeNotifier::shutdown() {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::shutdown";
    KREL_TRACE_SCOPE(context);
    {
        Guard guard(lock());
        if (isShutdownFlag) {
            KREL_INTERNAL_CALL(context, L"Already shutdown.");
            return;
        }
        stopRegistryCheckingThread();
        deleteAllListeners();
        if (terminateHandle != nullptr) {
            SetEvent(terminateHandle);
        }
        isShutdownFlag = true;
    }
    // The thread leaves its wait before the events it waits on are closed; it may need the
    // lock to get there.
    if (checkingThread.getState() == Thread::RUNNING) {
        checkingThread.join(-1);
    }
    Guard guard(lock());
    CloseHandle(terminateHandle);
    CloseHandle(updateHandle);
    terminateHandle = nullptr;
    updateHandle = nullptr;
}

void RegistryChangeNotifier::deleteAllListeners() {
    Guard guard(lock());
    listenerMaps[LOCAL_MACHINE].clear();
    listenerMaps[CURRENT_USER].clear();
}

// ---------------------------------------------------------------------------------------------

RegistryChangeNotifier::Handles::Handles(RegistryChangeNotifier& notifier)
    : notifier(notifier), count(0) {
    update();
}

RegistryChangeNotifier::Handles::~Handles() {}

void RegistryChangeNotifier::Handles::update() {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::Handles::update";
    KREL_TRACE_SCOPE(context);
    handles.clear();
    identities.clear();
    // The listeners of the former set are released with the notifier's lock held, as when
    // the notifier drops them itself.
    Guard guard(lock());
    listeners.clear();
    count = static_cast<unsigned int>(2 + notifier.listenerMaps[0].size() +
                                      notifier.listenerMaps[1].size());
    handles.reserve(count);
    handles.push_back(notifier.getTerminateHandle());
    handles.push_back(notifier.getUpdateHandle());
    for (int type = LOCAL_MACHINE; type <= CURRENT_USER; ++type) {
        for (const auto& entry : notifier.listenerMaps[type]) {
            const HANDLE handle = entry.second->getWaitHandle();
            KREL_INTERNAL_TRACE(context, L"Index <%d> Handle <%ls>.",
                                static_cast<int>(handles.size()), entry.first.c_str());
            handles.push_back(handle);
            identities.emplace_back(static_cast<HKeyType>(type), entry.first);
            listeners.push_back(entry.second);
        }
    }
    KREL_INTERNAL_CALL(context, L"<%d> handles.", static_cast<int>(count));
}

boost::shared_ptr<RegistryListener>
RegistryChangeNotifier::Handles::getListener(HKeyType type, const std::wstring& keyPath) {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::Handles::getListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. HKeyType <%d> Path <%ls>.", static_cast<int>(type),
                          keyPath.c_str());
    Guard guard(lock());
    const ListenerMap& map = notifier.listenerMaps[type];
    const ListenerMap::const_iterator found = map.find(keyPath);
    if (found == map.end()) {
        fail<KrelObjectNotFoundException>(L"HKey type <" + std::to_wstring(type) + L"> Path <" +
                                              keyPath + L"> has no listeners.",
                                          context);
    }
    return found->second;
}

void RegistryChangeNotifier::Handles::checkIndex(unsigned int index, const wchar_t* context) const {
    ErrorUtils::isOutsideRangeEx(index, 2u, count - 1, context, L"Index");
}

std::wstring RegistryChangeNotifier::Handles::getID(unsigned int index) {
    checkIndex(index, L"krel_std::RegistryChangeNotifier::Handles::getID");
    return identities[index - 2].second;
}

void RegistryChangeNotifier::Handles::resetEvent(unsigned int index) {
    checkIndex(index, L"krel_std::RegistryChangeNotifier::Handles::resetEvent");
    ResetEvent(handles[index]);
}

boost::shared_ptr<RegistryListener>
RegistryChangeNotifier::Handles::listenerAt(unsigned int index) {
    const std::pair<HKeyType, std::wstring>& identity = identities[index - 2];
    return getListener(identity.first, identity.second);
}

void RegistryChangeNotifier::Handles::registerListener(unsigned int index) {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::Handles::registerListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Index <%d>.", static_cast<int>(index));
    checkIndex(index, context);
    Guard guard(lock());
    listenerAt(index)->registerListener();
}

void RegistryChangeNotifier::Handles::updateAndNotify(unsigned int index) {
    const wchar_t* const context = L"krel_std::RegistryChangeNotifier::Handles::updateAndNotify";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Index <%d>.", static_cast<int>(index));
    checkIndex(index, context);
    boost::shared_ptr<RegistryListener> listener;
    {
        Guard guard(lock());
        listener = listenerAt(index);
    }
    listener->updateAndNotify();
}

const HANDLE* RegistryChangeNotifier::Handles::getHandles() const {
    return handles.data();
}

unsigned int RegistryChangeNotifier::Handles::getCount() const {
    return count;
}

// ---------------------------------------------------------------------------------------------

RegistryChangeNotifier::RegistryCheckingThread::RegistryCheckingThread(
    RegistryChangeNotifier& notifier)
    : Thread(L"RegistryCheckingThread"), notifier(notifier) {}

RegistryChangeNotifier::RegistryCheckingThread::~RegistryCheckingThread() {
    if (getState() == RUNNING) {
        const HANDLE terminate = notifier.getTerminateHandle();
        if (terminate != nullptr) {
            SetEvent(terminate);
        }
        Thread::sleep(SHUTDOWN_PAUSE);
        join(-1);
    }
}

std::wstring RegistryChangeNotifier::RegistryCheckingThread::toString() const {
    return L"RegistryCheckingThread{" + Thread::toString() + L"}";
}

// The thread's whole loop is one guarded call: a failure ends the thread with STD3003, a
// cancellation passes through.
void RegistryChangeNotifier::RegistryCheckingThread::run() {
    const bool completed = krel_std_internal::callGuarded(
        RUN_CONTEXT, [] { return std::wstring(L"The registry checking loop"); },
        [this] {
            Handles handles(notifier);
            for (;;) {
                const DWORD result = WaitForMultipleObjects(handles.getCount(),
                                                            handles.getHandles(), FALSE, INFINITE);
                KREL_INTERNAL_TRACE(RUN_CONTEXT, L"WaitForMultipleObjects return <%d>.",
                                    static_cast<int>(result));
                if (result == WAIT_OBJECT_0) {
                    KREL_INTERNAL_DEBUG(RUN_CONTEXT, L"Got terminate signal.");
                    break;
                }
                if (result == WAIT_OBJECT_0 + 1) {
                    KREL_INTERNAL_CALL(RUN_CONTEXT, L"Got update signal.");
                    handles.update();
                } else if (result == WAIT_FAILED) {
                    KREL_INTERNAL_DEBUG(RUN_CONTEXT, L"Wait failed: <%ls>.",
                                        ErrorUtils::getLastErrorDescription().c_str());
                    break;
                } else if (result < handles.getCount()) {
                    processSignaledHandle(handles, result);
                }
            }
        });
    if (!completed) {
        Singleton<KrelLoggerSTD>::getInstance().STD3003(RUN_CONTEXT);
    }
}

void RegistryChangeNotifier::RegistryCheckingThread::processSignaledHandle(Handles& handles,
                                                                           unsigned int index) {
    const wchar_t* const context =
        L"krel_std::RegistryChangeNotifier::RegistryCheckingThread::processSignaledHandle";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Index <%d>.", static_cast<int>(index));
    try {
        KREL_INTERNAL_CALL(context, L"<%d:%ls> handle was signaled.", static_cast<int>(index),
                           handles.getID(index).c_str());
        // Re-arming before reading makes a change made during the comparison fire again.
        handles.resetEvent(index);
        handles.registerListener(index);
        handles.updateAndNotify(index);
    } catch (const KrelObjectNotFoundException&) {
        forgetRemovedListener(handles, context);
    } catch (const KrelIllegalStateException&) {
        forgetRemovedListener(handles, context);
    }
}

} // namespace krel_std
