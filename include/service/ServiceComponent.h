// One named part of a service program.
#pragma once

#include <string>

#include "thread/Lock.h"

namespace krel_std {

// A named part of a service program that is started, stopped and switched between active and
// inactive with the others. The public operations run the program's hook under the component's
// recursive lock and set the state once the hook has returned; none looks at the previous state.
// A hook that throws leaves the state as it was.
class ServiceComponent {
public:
    enum ComponentState { STOPPED = 0, ACTIVE = 1, INACTIVE = 2 };

    ServiceComponent();
    virtual ~ServiceComponent();

    ServiceComponent(const ServiceComponent&) = delete;
    ServiceComponent& operator=(const ServiceComponent&) = delete;

    // The component's name, by which the manager finds it.
    virtual std::wstring getName() = 0;

    // onStart(), then ACTIVE.
    void start();
    // onStop(), then STOPPED.
    void stop();
    // onSetActive(isActive), then ACTIVE or INACTIVE (also for a stopped component).
    void setActive(bool isActive);
    // The state, read under the lock: waits while a hook of this component runs.
    ComponentState getComponentState();

protected:
    virtual void onStart();
    virtual void onStop();
    virtual void onSetActive(bool isActive);

    Lock lock;

private:
    ComponentState state;
};

} // namespace krel_std
