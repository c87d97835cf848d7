// A controller bound to one service.
#pragma once

#include "service/IController.h"
#include "service/ISignalHandler.h"

namespace krel_std {

class AbstractService;

// Binds a controller to one service and lets derived controllers call its protected hooks.
class ServiceController : public IController {
public:
    // Throws KrelIllegalArgumentException "The service object is null." for a null service.
    // The service is not owned.
    explicit ServiceController(AbstractService* service);
    ~ServiceController() override;

    // "ServiceController{}".
    std::wstring toString() const override;

protected:
    void callServiceStart();
    void callServiceStop();
    void callServiceOnStart();
    void callServiceOnStop();
    bool callServiceInForeground();
    // Sets a C signal handler through the service's signal handler.
    void registerServiceSignalHandler(int signal, ISignalHandler::SignalFunction handler);

    AbstractService* service;
};

} // namespace krel_std
