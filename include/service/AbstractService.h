// AbstractService, a program that runs in the console or as a service.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "service/Application.h"

namespace krel_std {

class IController;
class ServiceController;

// A program that runs either in the console (option F) or under the service control manager.
// The program supplies its work (run), its service name and how it is told to stop (onStop).
class AbstractService : public Application {
public:
    AbstractService();
    ~AbstractService() override;

    std::wstring toString() const override;

    // The service's work; returns once the service has been told to stop.
    void run() override = 0;
    // The name under which the service is registered with the service control manager.
    virtual std::wstring getServiceName() = 0;

    // In the foreground: onStart, then run, on the calling thread; true once run returned.
    // Otherwise blocks under the service controller until the service stopped and answers false;
    // a controller that cannot start (a program started from a console) is logged, also false.
    bool start();
    // Signals the shutdown event, then tells the service (foreground) or the controller to stop.
    void stop(bool reportStopped);

protected:
    friend class ServiceController;

    // Called before run; the base does nothing.
    virtual void onStart();
    // Must make run return.
    virtual void onStop() = 0;
    bool inForeground();

    boost::shared_ptr<IController> controller;
};

} // namespace krel_std
