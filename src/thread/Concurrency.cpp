#include "thread/Concurrency.h"

#include <boost/make_shared.hpp>

#include "base/LogFunctionCall.h"
#include "exception/KrelWaitObjectDestroyedException.h"
#include "internal/PosixCalls.h"
#include "internal/WaitablePimpl.h"
#include "thread/AutoLock.h"
#include "thread/Subscription.h"
#include "thread/SubscriptionCondition.h"
#include "thread/TimeSpec.h"
#include "thread/Waitable.h"

using krel_std_internal::PosixCalls;

namespace krel_std {

namespace {

[[noreturn]] void throwDestroyed(size_t index) {
    PosixCalls::raise<KrelWaitObjectDestroyedException>(L"krel_std::Concurrency::getWaitResult",
                                                        L"Object [" + std::to_wstring(index) +
                                                            L"] was destroyed!");
}

} // namespace

// The subscriptions of one wait, made on every object in list order, all with one condition.
// The waiter does not hold the condition's mutex while subscribing; it examines the states under
// it afterwards. When the wait ends, also through an exception or a cancellation, every
// subscription is withdrawn: an auto-reset signal that one consumed and the wait does not
// report (keep) goes back to its object, so no signal is lost to a wait that did not use it.
class Concurrency::WaitSubscriptions {
public:
    WaitSubscriptions(const std::vector<Waitable*>& objects,
                      boost::shared_ptr<SubscriptionCondition>& condition) {
        try {
            subscriptions.reserve(objects.size());
            for (Waitable* object : objects) {
                subscriptions.push_back(boost::make_shared<Subscription>(condition, *object));
            }
        } catch (...) {
            withdrawAll();
            throw;
        }
    }
    WaitSubscriptions(const WaitSubscriptions&) = delete;
    WaitSubscriptions& operator=(const WaitSubscriptions&) = delete;
    ~WaitSubscriptions() { withdrawAll(); }

    const Subscriptions& list() const { return subscriptions; }

    void keep(size_t index) { subscriptions[index]->keepSignal(); }

    void keepAll() {
        for (const boost::shared_ptr<Subscription>& subscription : subscriptions) {
            subscription->keepSignal();
        }
    }

    void checkNoneDestroyed() const {
        for (size_t i = 0; i < subscriptions.size(); ++i) {
            if (subscriptions[i]->getState() == Subscription::DESTROYED) {
                throwDestroyed(i);
            }
        }
    }

private:
    void withdrawAll() {
        for (const boost::shared_ptr<Subscription>& subscription : subscriptions) {
            subscription->withdraw();
        }
    }

    Subscriptions subscriptions;
};

int Concurrency::waitForSingleObject(Waitable& object, long ms) {
    KREL_TRACE_SCOPE(L"krel_std::Concurrency::waitForSingleObject");
    return waitForAny(std::vector<Waitable*>(1, &object), ms);
}

int Concurrency::waitForMultipleObjects(const std::vector<Waitable*>& objects, WaitType type,
                                        long ms) {
    KREL_TRACE_SCOPE(L"krel_std::Concurrency::waitForMultipleObjects");
    return type != WAIT_FOR_ANY ? waitForAll(objects, ms) : waitForAny(objects, ms);
}

// An object that is signalled already ends the wait without any subscription: the objects are
// examined in list order and the first signalled one answers (an auto-reset one gives its signal
// to this wait); the objects after it are not touched. Otherwise the wait subscribes to all and
// waits until one subscription is signalled or the deadline passes; a wake-up without a signal
// waits again. An empty list without a time limit has nothing that could end it and answers -1
// at once.
int Concurrency::waitForAny(const std::vector<Waitable*>& objects, long ms) {
    int result = takeFirstSignal(objects);
    if (result >= 0 || ms == 0 || (objects.empty() && ms < 0)) {
        return result;
    }
    boost::shared_ptr<SubscriptionCondition> condition =
        boost::make_shared<SubscriptionCondition>();
    WaitSubscriptions subscriptions(objects, condition);
    {
        AutoLock<SubscriptionCondition> guard(*condition);
        result = getWaitResult(subscriptions.list());
        TimeSpec deadline = getWaitTime(ms);
        bool woken = true;
        while (result == -1 && woken) {
            woken = condition->wait(deadline);
            result = getWaitResult(subscriptions.list());
        }
    }
    if (result >= 0) {
        subscriptions.keep(static_cast<size_t>(result));
    }
    return result;
}

// Waits until every subscription is signalled or the deadline passes. On a time-out every
// consumed auto-reset signal goes back to its object.
int Concurrency::waitForAll(const std::vector<Waitable*>& objects, long ms) {
    TimeSpec deadline = getWaitTime(ms);
    boost::shared_ptr<SubscriptionCondition> condition =
        boost::make_shared<SubscriptionCondition>();
    WaitSubscriptions subscriptions(objects, condition);
    bool complete;
    {
        AutoLock<SubscriptionCondition> guard(*condition);
        subscriptions.checkNoneDestroyed();
        complete = allSignaled(subscriptions.list());
        bool woken = ms != 0;
        while (!complete && woken) {
            woken = condition->wait(deadline);
            subscriptions.checkNoneDestroyed();
            complete = allSignaled(subscriptions.list());
        }
    }
    if (!complete) {
        return -1;
    }
    subscriptions.keepAll();
    return 0;
}

int Concurrency::takeFirstSignal(const std::vector<Waitable*>& objects) {
    for (size_t i = 0; i < objects.size(); ++i) {
        Subscription::SubscriptionState state = objects[i]->pimpl->takeSignal();
        if (state == Subscription::SIGNALED) {
            return static_cast<int>(i);
        }
        if (state == Subscription::DESTROYED) {
            throwDestroyed(i);
        }
    }
    return -1;
}

TimeSpec Concurrency::getWaitTime(long ms) {
    if (ms < 0) {
        return TimeSpec(-1, 0);
    }
    TimeSpec deadline = TimeSpec::getCurrentTime();
    deadline.addMilliseconds(ms);
    return deadline;
}

int Concurrency::getWaitResult(const Subscriptions& subscriptions) {
    for (size_t i = 0; i < subscriptions.size(); ++i) {
        Subscription::SubscriptionState state = subscriptions[i]->getState();
        if (state == Subscription::SIGNALED) {
            return static_cast<int>(i);
        }
        if (state == Subscription::DESTROYED) {
            throwDestroyed(i);
        }
    }
    return -1;
}

bool Concurrency::allSignaled(const Subscriptions& subscriptions) {
    for (const boost::shared_ptr<Subscription>& subscription : subscriptions) {
        if (subscription->getState() != Subscription::SIGNALED) {
            return false;
        }
    }
    return true;
}

} // namespace krel_std
