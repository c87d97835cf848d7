#include "thread/Waitable.h"

#include "internal/WaitablePimpl.h"
#include "thread/Subscription.h"

using krel_std_internal::WaitablePimpl;

namespace krel_std {

Waitable::Waitable(bool autoReset, bool signaled) : pimpl(new WaitablePimpl(autoReset, signaled)) {}

// Subscriptions that still hold the implementation see the destroyed state; the implementation
// itself goes when the last of them lets it go.
Waitable::~Waitable() {
    pimpl->destroy();
}

std::wstring Waitable::toString() const {
    return L"Waitable{}";
}

bool Waitable::isSignaled() const {
    return pimpl->isSignaled();
}

void Waitable::signal() {
    pimpl->signal();
}

void Waitable::setSignaled(bool signaled) {
    pimpl->setSignaled(signaled);
}

bool Waitable::isAutoReset() const {
    return pimpl->isAutoReset();
}

void Waitable::setAutoReset(bool autoReset) {
    pimpl->setAutoReset(autoReset);
}

void Waitable::subscribe(Subscription& subscription) {
    pimpl->subscribe(subscription);
}

void Waitable::unsubscribe(Subscription& subscription) {
    pimpl->unsubscribe(subscription);
}

boost::shared_ptr<WaitablePimpl> Waitable::getWaitState() const {
    return pimpl;
}

} // namespace krel_std
