#include "log/StaticLogPtr.h"

#include "log/StaticLog.h"

namespace krel_std {

StaticLogPtr::StaticLogPtr(StaticLog* log) : log(nullptr), heldSingletonLock(nullptr) {
    reset(log);
}

StaticLogPtr::StaticLogPtr(StaticLogPtr& other) : log(nullptr), heldSingletonLock(nullptr) {
    takeOver(other);
}

StaticLogPtr::StaticLogPtr(StaticLogPtr&& other) : log(nullptr), heldSingletonLock(nullptr) {
    takeOver(other);
}

StaticLogPtr& StaticLogPtr::operator=(StaticLogPtr& other) {
    if (this != &other) {
        release();
        takeOver(other);
    }
    return *this;
}

StaticLogPtr& StaticLogPtr::operator=(StaticLogPtr&& other) {
    return operator=(other);
}

StaticLogPtr::~StaticLogPtr() {
    try {
        release();
    } catch (...) {
        // Unlocking a lock this handle holds cannot fail; a destructor must not throw.
    }
}

// Takes the static log's lock first, then the instance's lock: the declared lock order.
void StaticLogPtr::reset(StaticLog* newLog) {
    release();
    if (newLog == nullptr) {
        return;
    }
    Lock* lock = StaticLog::singletonLock.load();
    if (lock == nullptr) {
        return;
    }
    lock->lock();
    try {
        newLog->instanceLock.lock();
    } catch (...) {
        lock->unlock();
        throw;
    }
    heldSingletonLock = lock;
    log = newLog;
}

void StaticLogPtr::acquire(Lock* singletonLock) {
    release();
    singletonLock->lock();
    StaticLog* current = StaticLog::instance.load();
    if (current == nullptr) {
        singletonLock->unlock();
        return;
    }
    try {
        current->instanceLock.lock();
    } catch (...) {
        singletonLock->unlock();
        throw;
    }
    heldSingletonLock = singletonLock;
    log = current;
}

void StaticLogPtr::takeOver(StaticLogPtr& other) {
    log = other.log;
    heldSingletonLock = other.heldSingletonLock;
    other.log = nullptr;
    other.heldSingletonLock = nullptr;
}

// The instance's lock first, then the static log's lock.
void StaticLogPtr::release() {
    StaticLog* held = log;
    Lock* lock = heldSingletonLock;
    log = nullptr;
    heldSingletonLock = nullptr;
    if (held != nullptr) {
        held->instanceLock.unlock();
        lock->unlock();
    }
}

} // namespace krel_std
