// RegistryChangeNotifier, which watches registry keys for registry preference listeners.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/Object.h"
#include "pattern/Singleton.h"
#include "platform/WinTypes.h"
#include "prefs/PreferenceChangeListener.h"
#include "thread/Thread.h"

namespace krel_std {

class Lock;
class RegistryListener;

// Watches registry keys for the listeners of registry preference nodes. A key is watched from
// its node's first listener to its last: one RegistryListener per key, and one thread, the
// "RegistryCheckingThread", waits on every key's event at once and lets the key's listener
// report the changed values to the preference change notifier.
//
// At most 62 keys are watched at a time: the thread's wait also holds its terminate and update
// events. Lock order: a node's lock, then lock(), then a registry listener's lock, then the
// preference change notifier's lock.
class RegistryChangeNotifier : public Object,
                               public Singleton<RegistryChangeNotifier>,
                               private boost::noncopyable {
    friend class Singleton<RegistryChangeNotifier>;

public:
    enum HKeyType { LOCAL_MACHINE = 0, CURRENT_USER = 1 };

    // The most keys watched at once.
    static const unsigned int MAX_WATCHED_KEYS;

    ~RegistryChangeNotifier() override;

    // "RegistryChangeNotifier{isShutdownFlag=false}".
    std::wstring toString() const override;

    // Registers the listener under the listener path and, for the path's first listener,
    // watches the key. A key that cannot be watched (missing, or a 63rd key) throws and keeps
    // no listener.
    void addPreferenceChangeListener(int hive, const std::wstring& keyPath,
                                     const std::wstring& listenerPath,
                                     const boost::shared_ptr<PreferenceChangeListener>& listener);
    // Unregisters the listener; the key stops being watched when this removal left the path
    // without listeners.
    void
    removePreferenceChangeListener(int hive, const std::wstring& keyPath,
                                   const std::wstring& listenerPath,
                                   const boost::shared_ptr<PreferenceChangeListener>& listener);

    // The wait set of the checking thread: the terminate event, the update event, then one
    // event per watched key, local-machine keys first, each group in key path order. It keeps
    // the listener behind each index alive, so no handle it waits on is closed before the set
    // is rebuilt.
    class Handles {
    public:
        explicit Handles(RegistryChangeNotifier& notifier);
        Handles(const Handles&) = delete;
        Handles& operator=(const Handles&) = delete;
        virtual ~Handles();

        // Rebuilds the set from the notifier's maps.
        void update();
        // The listener watching the key; KrelObjectNotFoundException when none does.
        boost::shared_ptr<RegistryListener> getListener(HKeyType type, const std::wstring& keyPath);
        // The key path behind an index from 2 on.
        std::wstring getID(unsigned int index);
        void resetEvent(unsigned int index);
        void registerListener(unsigned int index);
        void updateAndNotify(unsigned int index);
        const HANDLE* getHandles() const;
        unsigned int getCount() const;

    private:
        // Throws KrelIllegalArgumentException unless 2 <= index < count.
        void checkIndex(unsigned int index, const wchar_t* context) const;
        boost::shared_ptr<RegistryListener> listenerAt(unsigned int index);

        RegistryChangeNotifier& notifier;
        std::vector<HANDLE> handles;
        std::vector<std::pair<HKeyType, std::wstring>> identities;
        std::vector<boost::shared_ptr<RegistryListener>> listeners;
        unsigned int count;
    };

    class RegistryCheckingThread : public Thread {
    public:
        explicit RegistryCheckingThread(RegistryChangeNotifier& notifier);
        ~RegistryCheckingThread() override;
        // "RegistryCheckingThread{<Thread text>}".
        std::wstring toString() const override;
        void run() override;

    private:
        void processSignaledHandle(Handles& handles, unsigned int index);

        RegistryChangeNotifier& notifier;
    };

private:
    typedef std::map<std::wstring, boost::shared_ptr<RegistryListener>> ListenerMap;

    RegistryChangeNotifier();
    static const wchar_t* getSingletonName();
    // Guards the maps, the flag and the events; made on first use and never destroyed.
    static Lock& lock();

    void startMonitoringKey(int hive, const std::wstring& keyPath);
    void stopMonitoringKey(int hive, const std::wstring& keyPath);
    void startRegistryCheckingThreadIfNotRunning();
    void stopRegistryCheckingThread();
    void updateRegistryCheckingThread();
    // 0x80000002 is LOCAL_MACHINE, 0x80000001 CURRENT_USER; any other value throws
    // KrelIllegalArgumentException "Invalid root: <80000003>.".
    static HKeyType convertHKeyToHKeyType(int hive);
    ListenerMap getListeners(HKeyType type) const;
    void checkShutdown(const wchar_t* context) const;
    bool isShutdown() const;
    HANDLE getTerminateHandle() const;
    HANDLE getUpdateHandle() const;
    void shutdown();
    void deleteAllListeners();

    HANDLE terminateHandle;
    HANDLE updateHandle;
    bool isShutdownFlag;
    RegistryCheckingThread checkingThread;
    ListenerMap listenerMaps[2];
};

} // namespace krel_std
