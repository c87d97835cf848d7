#include "service/AbstractService.h"

#include "exception/KrelIOException.h"
#include "log/KrelLoggerSTD.h"
#include "pattern/Singleton.h"
#include "service/NTServiceController.h"

namespace krel_std {

AbstractService::AbstractService() : controller(new NTServiceController(this)) {}

AbstractService::~AbstractService() {
    controller.reset();
}

std::wstring AbstractService::toString() const {
    return L"AbstractService{}";
}

bool AbstractService::start() {
    if (inForeground()) {
        onStart();
        run();
        return true;
    }
    try {
        controller->start();
    } catch (KrelIOException& exception) {
        Singleton<KrelLoggerSTD>::getInstance().STD2002(L"krel_std::AbstractService::start",
                                                        exception.getMessage());
    }
    return false;
}

void AbstractService::stop(bool reportStopped) {
    shutdownEvent.signal();
    if (inForeground()) {
        onStop();
    } else {
        controller->stop(reportStopped);
    }
}

void AbstractService::onStart() {}

bool AbstractService::inForeground() {
    return argumentParser->argumentParsed(L"F");
}

} // namespace krel_std
