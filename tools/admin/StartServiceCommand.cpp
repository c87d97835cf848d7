// krel-admin start-service <name>: starts the service and prints its status once it runs its
// dispatcher.
#include <cstdio>

#include "AdminCommands.h"
#include "ServiceSupport.h"
#include "platform/WinBase.h"

namespace krel_admin {

int startService(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) {
        return reportUsage(commandNamed("start-service"));
    }
    ServiceHandle manager;
    ServiceHandle service;
    if (!openService(arguments[0], false, manager, service)) {
        return 1;
    }
    std::fprintf(stderr, "Waiting for the service to start (at most 30 seconds)...\n");
    if (!StartServiceW(service.handle, 0, nullptr)) {
        return reportError(arguments[0], static_cast<LSTATUS>(GetLastError()));
    }
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.handle, &status)) {
        printServiceStatus(arguments[0], status);
    }
    return 0;
}

} // namespace krel_admin
