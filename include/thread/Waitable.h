// Waitable, the base of everything a thread can wait on through Concurrency.
#pragma once

#include <boost/shared_ptr.hpp>

#include "base/Object.h"

namespace krel_std_internal {
class WaitablePimpl;
} // namespace krel_std_internal

namespace krel_std {

class Concurrency;
class Subscription;

// Base of everything a thread can wait on through Concurrency. A waiting thread registers a
// Subscription on each object it waits on; signalling the object marks and wakes them.
// An auto-reset object hands each signal to exactly one waiter (the earliest) or, with none
// waiting, stays signalled until one wait consumes it. A manual-reset object releases every
// waiter and stays signalled.
class Waitable : public Object {
public:
    explicit Waitable(bool autoReset = true, bool signaled = false);
    Waitable(const Waitable&) = delete;
    Waitable& operator=(const Waitable&) = delete;
    // Wakes every waiting subscription with the destroyed state.
    ~Waitable() override;

    std::wstring toString() const override;

    bool isSignaled() const;

protected:
    virtual void signal();

    void setSignaled(bool signaled);
    bool isAutoReset() const;
    void setAutoReset(bool autoReset);

    void subscribe(Subscription& subscription);
    void unsubscribe(Subscription& subscription);

    // The object's waiting state. It stays valid for whoever holds it, also after the object is
    // destroyed (a signal then reaches nobody). An operation that may let another thread destroy
    // the object before the operation returns takes it first and signals through it.
    boost::shared_ptr<krel_std_internal::WaitablePimpl> getWaitState() const;

private:
    friend class Concurrency;
    friend class Subscription;

    boost::shared_ptr<krel_std_internal::WaitablePimpl> pimpl;
};

} // namespace krel_std
