#include "service/ServiceComponentManager.h"

#include <algorithm>
#include <exception>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "internal/GuardedCall.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

const wchar_t DESTRUCTOR[] = L"krel_std::ServiceComponentManager::~ServiceComponentManager";

} // namespace

ServiceComponentManager::ServiceComponentManager() {}

ServiceComponentManager::~ServiceComponentManager() {
    AutoLock<Lock> guard(lock);
    stopAllIgnoringFailures();
}

// An exception leaving a destructor ends the process, and every component is owed its onStop.
void ServiceComponentManager::stopAllIgnoringFailures() {
    KREL_TRACE_SCOPE(L"krel_std::ServiceComponentManager::stopAll");
    for (const boost::shared_ptr<ServiceComponent>& component : components) {
        krel_std_internal::callSwallowing([&] { component->stop(); },
                                          [&] {
                                              krel_std_internal::traceIgnoredFailure(
                                                  DESTRUCTOR, KREL_SOURCE_FILE, __LINE__);
                                          });
    }
}

void ServiceComponentManager::registerComponent(
    const boost::shared_ptr<ServiceComponent>& component) {
    const std::wstring name = component ? component->getName() : std::wstring();
    KREL_TRACE_SCOPE_ARGS(L"krel_std::ServiceComponentManager::registerComponent",
                          L"Begin. Component Name = <%ls>.", name.c_str());
    if (!component) {
        return;
    }
    AutoLock<Lock> guard(lock);
    if (std::find(components.begin(), components.end(), component) == components.end()) {
        components.push_back(component);
    }
}

boost::shared_ptr<ServiceComponent>
ServiceComponentManager::getComponent(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::ServiceComponentManager::getComponent", L"Begin. name=<%ls>",
                          name.c_str());
    AutoLock<Lock> guard(lock);
    for (const boost::shared_ptr<ServiceComponent>& component : components) {
        if (component->getName() == name) {
            return component;
        }
    }
    return boost::shared_ptr<ServiceComponent>();
}

std::list<boost::shared_ptr<ServiceComponent>> ServiceComponentManager::getComponents() {
    AutoLock<Lock> guard(lock);
    return components;
}

void ServiceComponentManager::startAll() {
    KREL_TRACE_SCOPE(L"krel_std::ServiceComponentManager::startAll");
    AutoLock<Lock> guard(lock);
    for (const boost::shared_ptr<ServiceComponent>& component : components) {
        component->start();
    }
}

void ServiceComponentManager::stopAll() {
    KREL_TRACE_SCOPE(L"krel_std::ServiceComponentManager::stopAll");
    AutoLock<Lock> guard(lock);
    for (const boost::shared_ptr<ServiceComponent>& component : components) {
        component->stop();
    }
}

void ServiceComponentManager::setAllActive(bool isActive) {
    KREL_TRACE_SCOPE(L"krel_std::ServiceComponentManager::setAllActive");
    AutoLock<Lock> guard(lock);
    for (const boost::shared_ptr<ServiceComponent>& component : components) {
        component->setActive(isActive);
    }
}

} // namespace krel_std
