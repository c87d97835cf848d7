// The components of a service program, handled together.
#pragma once

#include <boost/shared_ptr.hpp>
#include <list>
#include <string>

#include "service/ServiceComponent.h"
#include "thread/Lock.h"

namespace krel_std {

// Keeps a program's components in the order they were registered and starts, stops or switches
// them all in that order under its recursive lock (taken before a component's). A hook that
// throws ends the walk: the components before it have been handled, the others not.
class ServiceComponentManager {
public:
    ServiceComponentManager();
    // Stops every component in order; a component whose onStop throws is traced at DEBUG and
    // the others are stopped all the same.
    virtual ~ServiceComponentManager();

    ServiceComponentManager(const ServiceComponentManager&) = delete;
    ServiceComponentManager& operator=(const ServiceComponentManager&) = delete;

    // Appends the component; a null pointer, or an object already registered, is ignored.
    void registerComponent(const boost::shared_ptr<ServiceComponent>& component);
    // The first registered component of exactly that name; empty when none has it.
    boost::shared_ptr<ServiceComponent> getComponent(const std::wstring& name);
    // A copy of the list.
    std::list<boost::shared_ptr<ServiceComponent>> getComponents();
    void startAll();
    void stopAll();
    void setAllActive(bool isActive);

private:
    void stopAllIgnoringFailures();

    Lock lock;
    std::list<boost::shared_ptr<ServiceComponent>> components;
};

} // namespace krel_std
