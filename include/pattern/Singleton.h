// Singleton, the base of classes that exist once per process; null_deleter.
#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <string>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

// A deleter that does nothing: it lets a shared pointer hold an object that must never be
// destroyed, such as a singleton.
struct null_deleter {
    void operator()(const void*) const {}
};

// Base of every class that exists once per process. T derives from Singleton<T> and a
// non-copyable marker, has a private default constructor and a private static
// getSingletonName(), and declares Singleton<T> a friend.
//
// The instance is made on the first getInstance() under a lock of this instantiation alone and
// is never destroyed, so threads it owns may outlive the library's unload. Once made, it is
// published through an atomic pointer: later callers read it without taking the lock.
template <class T> class Singleton {
public:
    static T& getInstance();

    // The name T announces itself by when it is created.
    static const wchar_t* singletonName() { return T::getSingletonName(); }

protected:
    Singleton() = default;
    ~Singleton() = default;

private:
    static boost::shared_ptr<T>& instance();
    static std::atomic<T*>& published();
    static Lock& creationLock();
    static T& create();
    static void traceCreation(const wchar_t* format);
};

template <class T> T& Singleton<T>::getInstance() {
    T* existing = published().load(std::memory_order_acquire);
    return existing != nullptr ? *existing : create();
}

// The holder, the published pointer and the creation lock are made on first use and never
// destroyed: a thread still running at process exit may reach them.
template <class T> boost::shared_ptr<T>& Singleton<T>::instance() {
    static boost::shared_ptr<T>& holder = *new boost::shared_ptr<T>;
    return holder;
}

template <class T> std::atomic<T*>& Singleton<T>::published() {
    static std::atomic<T*>& pointer = *new std::atomic<T*>(nullptr);
    return pointer;
}

template <class T> Lock& Singleton<T>::creationLock() {
    static Lock& lock = *new Lock;
    return lock;
}

// Creates T once, however many threads get here together. An exception from T's constructor
// leaves the holder empty, so a later call tries again.
template <class T> T& Singleton<T>::create() {
    Lock& lock = creationLock();
    traceCreation(L"Creating singleton <%ls>.");
    {
        AutoLock<Lock> guard(lock);
        boost::shared_ptr<T>& holder = instance();
        if (!holder) {
            holder.reset(new T, null_deleter());
            published().store(holder.get(), std::memory_order_release);
        }
    }
    traceCreation(L"Created singleton <%ls>.");
    return *published().load(std::memory_order_acquire);
}

template <class T> void Singleton<T>::traceCreation(const wchar_t* format) {
    if (!__internal_trace_on()) {
        return;
    }
    const std::wstring function =
        std::wstring(L"krel_std::Singleton<class ") + T::getSingletonName() + L">::getInstance";
    __internal_trace(function.c_str(), KREL_SOURCE_FILE, __LINE__, format, T::getSingletonName());
}

} // namespace krel_std
