// SingletonManager, the process-wide locks of the singletons.
#pragma once

#include <atomic>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "base/LibraryMain.h"
#include "base/Object.h"

namespace krel_std {

class Lock;
class ReadWriteLock;

// Process-wide locks that the load hook makes and the unload hook clears, and a manager
// instance made on first use. Once the unload hook has run, getInstance() fails.
class SingletonManager : private boost::noncopyable {
public:
    ~SingletonManager();

    // The manager; throws KrelIllegalStateException "Singleton locks have been destroyed."
    // before the load hook and after the unload hook.
    static SingletonManager& getInstance();

private:
    friend void krel_std_internal::krelLibraryAttach();
    friend void krel_std_internal::krelLibraryDetach();

    SingletonManager();

    static void initLocks();
    static void destroyLocks();
    static void initInstance();
    static void destroyInstance();

    // Made at every load and never deleted: a thread may still hold one after unload.
    static std::atomic<Lock*> lock;
    static std::atomic<ReadWriteLock*> singletonLock;
    static std::atomic<SingletonManager*> instance;

    // Kept for the managed singletons; nothing fills or reads it.
    std::map<std::wstring, boost::shared_ptr<Object>> singletons;
};

} // namespace krel_std
