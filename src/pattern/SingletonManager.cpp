#include "pattern/SingletonManager.h"

#include <mutex>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "internal/GuardedCall.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"
#include "thread/ReadWriteLock.h"

namespace krel_std {

std::atomic<Lock*> SingletonManager::lock{nullptr};
std::atomic<ReadWriteLock*> SingletonManager::singletonLock{nullptr};
std::atomic<SingletonManager*> SingletonManager::instance{nullptr};

namespace {

// Keeps every lock and manager ever made reachable for the life of the process: they are never
// deleted, because a thread may still hold one after the unload hook has let it go.
void retain(const void* object) {
    static std::mutex& mutex = *new std::mutex;
    static std::vector<const void*>& retained = *new std::vector<const void*>;
    std::lock_guard<std::mutex> guard(mutex);
    retained.push_back(object);
}

template <class T> T* retainForever(T* object) {
    retain(object);
    return object;
}

[[noreturn]] void throwLocksDestroyed() {
    KrelIllegalStateException exception(L"Singleton locks have been destroyed.");
    exception.logDebug(L"krel_std::SingletonManager::getInstance");
    throw exception;
}

} // namespace

SingletonManager::SingletonManager() = default;

SingletonManager::~SingletonManager() = default;

// New locks at every load; the ones of an earlier load are left alive for threads that may
// still hold them.
void SingletonManager::initLocks() {
    lock.store(retainForever(new Lock));
    try {
        singletonLock.store(retainForever(new ReadWriteLock(64)));
    } catch (const KrelIllegalArgumentException&) {
        // The read-write lock keeps its earlier value; the manager works without it.
    }
}

void SingletonManager::destroyLocks() {
    lock.store(nullptr);
    singletonLock.store(nullptr);
}

// Any failure, including a lock cleared by the unload hook meanwhile, leaves the manager's state
// unknown and is reported as such. A thread being cancelled is let go.
void SingletonManager::initInstance() {
    krel_std_internal::callSwallowing(
        [&] {
            Lock* current = lock.load();
            if (current == nullptr) {
                throw KrelIllegalStateException(L"Singleton locks have been destroyed.");
            }
            AutoLock<Lock> guard(*current);
            if (instance.load() == nullptr) {
                instance.store(retainForever(new SingletonManager));
            }
        },
        [&] {
            KrelIllegalStateException exception(
                L"Creating SingletonManager instance failed, state cannot be guaranteed.");
            exception.logDebug(L"krel_std::SingletonManager::initInstance");
            throw exception;
        });
}

void SingletonManager::destroyInstance() {
    Lock* current = lock.load();
    if (current == nullptr) {
        instance.store(nullptr);
        return;
    }
    AutoLock<Lock> guard(*current);
    instance.store(nullptr);
}

SingletonManager& SingletonManager::getInstance() {
    if (lock.load() == nullptr) {
        throwLocksDestroyed();
    }
    if (instance.load() == nullptr) {
        initInstance();
    }
    // Read once: the unload hook may clear the manager at any moment.
    SingletonManager* current = instance.load();
    if (current == nullptr) {
        throwLocksDestroyed();
    }
    return *current;
}

} // namespace krel_std
