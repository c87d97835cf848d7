#include "thread/Concurrency.h"

#include "base/LogFunctionCall.h"
#include "exception/KrelWaitObjectDestroyedException.h"
#include "internal/PosixCalls.h"
#include "thread/AutoLock.h"
#include "thread/Subscription.h"
#include "thread/SubscriptionCondition.h"
#include "thread/TimeSpec.h"
#include "thread/Waitable.h"

using krel_std_internal::PosixCalls;

namespace krel_std {

namespace {

typedef std::vector<boost::shared_ptr<Subscription>> SubscriptionList;

// Subscribes to every object in list order, all with one condition. The waiter does not hold
// the condition's mutex here; it examines the states under it afterwards.
SubscriptionList subscribeAll(const std::vector<Waitable*>& objects,
                              boost::shared_ptr<SubscriptionCondition>& condition) {
    SubscriptionList subscriptions;
    subscriptions.reserve(objects.size());
    for (Waitable* object : objects) {
        subscriptions.push_back(
            boost::shared_ptr<Subscription>(new Subscription(condition, *object)));
    }
    return subscriptions;
}

[[noreturn]] void throwDestroyed(size_t index) {
    PosixCalls::raise<KrelWaitObjectDestroyedException>(L"krel_std::Concurrency::getWaitResult",
                                                        L"Object [" + std::to_wstring(index) +
                                                            L"] was destroyed!");
}

void checkNoneDestroyed(const SubscriptionList& subscriptions) {
    for (size_t i = 0; i < subscriptions.size(); ++i) {
        if (subscriptions[i]->getState() == Subscription::DESTROYED) {
            throwDestroyed(i);
        }
    }
}

} // namespace

int Concurrency::waitForSingleObject(Waitable& object, long ms) {
    KREL_TRACE_SCOPE(L"krel_std::Concurrency::waitForSingleObject");
    return waitForAny(std::vector<Waitable*>(1, &object), ms);
}

int Concurrency::waitForMultipleObjects(const std::vector<Waitable*>& objects, WaitType type,
                                        long ms) {
    KREL_TRACE_SCOPE(L"krel_std::Concurrency::waitForMultipleObjects");
    return type != WAIT_FOR_ANY ? waitForAll(objects, ms) : waitForAny(objects, ms);
}

// Waits until one subscription is signalled or the deadline passes; a wake-up without a signal
// waits again. An empty list without a time limit has nothing that could end it and answers -1
// at once. The subscriptions' destructors hand back every auto-reset signal that is not the
// answered one.
int Concurrency::waitForAny(const std::vector<Waitable*>& objects, long ms) {
    boost::shared_ptr<SubscriptionCondition> condition(new SubscriptionCondition);
    SubscriptionList subscriptions = subscribeAll(objects, condition);
    int result;
    {
        AutoLock<SubscriptionCondition> guard(*condition);
        result = getWaitResult(subscriptions);
        if (result == -1 && ms != 0 && !(objects.empty() && ms < 0)) {
            TimeSpec deadline = getWaitTime(ms);
            bool woken = true;
            while (result == -1 && woken) {
                woken = condition->wait(deadline);
                result = getWaitResult(subscriptions);
            }
        }
    }
    if (result >= 0) {
        subscriptions[result]->keepSignal();
    }
    return result;
}

// Waits until every subscription is signalled or the deadline passes. On a time-out every
// consumed auto-reset signal goes back to its object.
int Concurrency::waitForAll(const std::vector<Waitable*>& objects, long ms) {
    TimeSpec deadline = getWaitTime(ms);
    boost::shared_ptr<SubscriptionCondition> condition(new SubscriptionCondition);
    SubscriptionList subscriptions = subscribeAll(objects, condition);
    bool complete;
    {
        AutoLock<SubscriptionCondition> guard(*condition);
        checkNoneDestroyed(subscriptions);
        complete = allSignaled(subscriptions);
        bool woken = ms != 0;
        while (!complete && woken) {
            woken = condition->wait(deadline);
            checkNoneDestroyed(subscriptions);
            complete = allSignaled(subscriptions);
        }
    }
    if (!complete) {
        return -1;
    }
    for (const boost::shared_ptr<Subscription>& subscription : subscriptions) {
        subscription->keepSignal();
    }
    return 0;
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
