#include "service/ServiceComponent.h"

#include "base/LogFunctionCall.h"
#include "thread/AutoLock.h"

namespace krel_std {

ServiceComponent::ServiceComponent() : state(STOPPED) {}

ServiceComponent::~ServiceComponent() {}

void ServiceComponent::start() {
    AutoLock<Lock> guard(lock);
    onStart();
    state = ACTIVE;
}

void ServiceComponent::stop() {
    AutoLock<Lock> guard(lock);
    onStop();
    state = STOPPED;
}

void ServiceComponent::setActive(bool isActive) {
    AutoLock<Lock> guard(lock);
    onSetActive(isActive);
    state = isActive ? ACTIVE : INACTIVE;
}

ServiceComponent::ComponentState ServiceComponent::getComponentState() {
    AutoLock<Lock> guard(lock);
    return state;
}

void ServiceComponent::onStart() {
    KREL_TRACE_SCOPE(L"krel_std::ServiceComponent::onStart");
}

void ServiceComponent::onStop() {
    KREL_TRACE_SCOPE(L"krel_std::ServiceComponent::onStop");
}

void ServiceComponent::onSetActive(bool isActive) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::ServiceComponent::onSetActive", L"Begin. isActive=<%ls>.",
                          isActive ? L"true" : L"false");
}

} // namespace krel_std
