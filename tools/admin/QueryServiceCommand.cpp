// krel-admin query-service <name>: prints the service's status (STOPPED when it does not run).
#include "AdminCommands.h"
#include "ServiceSupport.h"
#include "platform/WinBase.h"

namespace krel_admin {

int queryService(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) {
        return reportUsage(commandNamed("query-service"));
    }
    ServiceHandle manager;
    ServiceHandle service;
    if (!openService(arguments[0], false, manager, service)) {
        return 1;
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.handle, &status)) {
        return reportError(arguments[0], static_cast<LSTATUS>(GetLastError()));
    }
    printServiceStatus(arguments[0], status);
    return 0;
}

} // namespace krel_admin
