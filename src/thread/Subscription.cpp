#include "thread/Subscription.h"

#include "internal/WaitablePimpl.h"
#include "thread/AutoLock.h"
#include "thread/SubscriptionCondition.h"
#include "thread/Waitable.h"

namespace krel_std {

// The waiter subscribes without holding its condition's mutex: the object's mutex is always
// taken before a condition's mutex, never the other way round.
Subscription::Subscription(boost::shared_ptr<SubscriptionCondition>& condition, Waitable& waitable)
    : condition(condition), state(NOT_SIGNALED), waitable(waitable.pimpl), consumed(false),
      kept(false) {
    this->waitable->subscribe(*this);
}

// Unsubscribing also waits for a signaller that is still marking this subscription.
Subscription::~Subscription() {
    waitable->unsubscribe(*this);
}

std::wstring Subscription::toString() const {
    return L"Subscription{state=" + std::to_wstring(state.load()) + L"}";
}

Subscription::SubscriptionState Subscription::getState() const {
    return static_cast<SubscriptionState>(state.load());
}

void Subscription::setState(SubscriptionState newState) {
    state.store(newState);
}

void Subscription::keepSignal() {
    kept = true;
}

bool Subscription::wait(const TimeSpec& deadline) {
    return condition->wait(deadline);
}

// After unsubscribing nobody marks this subscription any more, so the consumed flag is final.
// The signal goes back once, however often the subscription is withdrawn.
void Subscription::withdraw() {
    waitable->unsubscribe(*this);
    if (consumed && !kept) {
        consumed = false;
        waitable->signal();
    }
}

void Subscription::lock() {
    condition->lock();
}

void Subscription::unlock() {
    condition->unlock();
}

void Subscription::signal() {
    condition->signal();
}

// The waiter is woken after the condition's mutex is released, so it does not wake only to wait
// for that mutex. The condition stays valid meanwhile: the object's mutex, held by the caller,
// keeps this subscription (and its share of the condition) from going away.
void Subscription::mark(SubscriptionState newState, bool consumedSignal) {
    markWithoutWaking(newState, consumedSignal)->signal();
}

boost::shared_ptr<SubscriptionCondition> Subscription::markWithoutWaking(SubscriptionState newState,
                                                                         bool consumedSignal) {
    AutoLock<SubscriptionCondition> guard(*condition);
    state.store(newState);
    consumed = consumedSignal;
    return condition;
}

} // namespace krel_std
