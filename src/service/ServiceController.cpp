#include "service/ServiceController.h"

#include "exception/KrelIllegalArgumentException.h"
#include "service/AbstractService.h"

namespace krel_std {

ServiceController::ServiceController(AbstractService* service) : service(service) {
    if (service == nullptr) {
        throw KrelIllegalArgumentException(L"The service object is null.");
    }
}

ServiceController::~ServiceController() = default;

std::wstring ServiceController::toString() const {
    return L"ServiceController{}";
}

void ServiceController::callServiceStart() {
    service->start();
}

void ServiceController::callServiceStop() {
    service->stop(true);
}

void ServiceController::callServiceOnStart() {
    service->onStart();
}

void ServiceController::callServiceOnStop() {
    service->onStop();
}

bool ServiceController::callServiceInForeground() {
    return service->inForeground();
}

void ServiceController::registerServiceSignalHandler(int signal,
                                                     ISignalHandler::SignalFunction handler) {
    if (service->signalHandler != nullptr) {
        service->signalHandler->registerSignalHandler(signal, handler);
    }
}

} // namespace krel_std
