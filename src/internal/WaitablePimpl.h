#pragma once

#include <pthread.h>

#include <list>

namespace krel_std {
class Subscription;
} // namespace krel_std

namespace krel_std_internal {

// The state of a Waitable: its flags and the subscriptions waiting on it, all under one mutex.
// Subscriptions hold this implementation through shared pointers, so it outlives its Waitable
// until the last subscription has unsubscribed.
class WaitablePimpl {
public:
    WaitablePimpl(bool autoReset, bool signaled);
    WaitablePimpl(const WaitablePimpl&) = delete;
    WaitablePimpl& operator=(const WaitablePimpl&) = delete;
    ~WaitablePimpl();

    // A signalled object marks the subscription at once (an auto-reset one consumes its signal);
    // otherwise the subscription is listed until the object signals it.
    void subscribe(krel_std::Subscription& subscription);
    void unsubscribe(krel_std::Subscription& subscription);
    // Manual-reset: becomes signalled and marks every listed subscription. Auto-reset: marks the
    // earliest listed subscription, or becomes signalled when none waits. Does nothing once the
    // object is destroyed.
    void signal();
    // Marks every listed subscription destroyed; later signals do nothing.
    void destroy();

    bool isSignaled();
    void setSignaled(bool value);
    bool isAutoReset();
    void setAutoReset(bool value);

private:
    pthread_mutex_t mutex;
    std::list<krel_std::Subscription*> subscribers;
    bool signaled;
    bool autoReset;
    bool destroyed;
};

} // namespace krel_std_internal
