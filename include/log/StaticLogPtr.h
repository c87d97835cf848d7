// The handle through which the static log's operations reach its instance.
#pragma once

namespace krel_std {

class Lock;
class StaticLog;

// While a handle refers to the static log's instance it holds the static log's lock and the
// instance's lock once each, so the instance cannot be destroyed under it. Copying moves the
// pointer and the held locks to the new handle (the source becomes empty); the instance itself
// is never deleted through a handle.
class StaticLogPtr {
public:
    explicit StaticLogPtr(StaticLog* log = nullptr);
    StaticLogPtr(StaticLogPtr& other);
    StaticLogPtr(StaticLogPtr&& other);
    StaticLogPtr& operator=(StaticLogPtr& other);
    StaticLogPtr& operator=(StaticLogPtr&& other);
    virtual ~StaticLogPtr();

    // Releases what the handle holds (the instance's lock first), then refers to `log`, taking
    // the static log's lock and then the instance's lock when `log` is not null.
    void reset(StaticLog* log = nullptr);

    StaticLog* operator->() const { return log; }
    explicit operator bool() const { return log != nullptr; }

private:
    friend class StaticLog;

    // Takes `singletonLock` and, when the static log has an instance, the instance's lock and
    // refers to it; without an instance releases `singletonLock` again and stays empty. One
    // acquisition of each lock, in the declared order.
    void acquire(Lock* singletonLock);
    void takeOver(StaticLogPtr& other);
    void release();

    StaticLog* log;
    // The static log's lock taken with `log`; the lock lives for the process.
    Lock* heldSingletonLock;
};

} // namespace krel_std
