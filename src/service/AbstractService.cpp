#include "service/AbstractService.h"

#include "exception/KrelIOException.h"
#include "log/KrelLoggerSTD.h"
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
    } catch (const KrelIOException& error) {
        KrelLoggerSTD::getInstance().STD2002(L"krel_std::AbstractService::start",
                                             error.getMessage());
    }
    return false;
}

void AbstractService::stop(bool reportStopped) {
    shutdownEvent.signal();
    if (inForeground()) {
        onStop();
        return;
    }
    try {
        controller->stop(reportStopped);
    } catch (const KrelIOException& error) {
        KrelLoggerSTD::getInstance().STD2002(L"krel_std::AbstractService::stop",
                                             error.getMessage());
    }
}

void AbstractService::onStart() {}

bool AbstractService::inForeground() {
    return argumentParser->argumentParsed(std::wstring(1, IArgumentParser::ARG_FOREGROUND));
}

} // namespace krel_std
