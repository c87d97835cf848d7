// krel-admin delete-service <name>: removes the service from the database; a running service
// runs on.
#include "AdminCommands.h"
#include "ServiceSupport.h"
#include "platform/WinBase.h"

namespace krel_admin {

int deleteService(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) {
        return reportUsage(commandNamed("delete-service"));
    }
    ServiceHandle manager;
    ServiceHandle service;
    if (!openService(arguments[0], true, manager, service)) {
        return 1;
    }
    if (!DeleteService(service.handle)) {
        return reportError(arguments[0], static_cast<LSTATUS>(GetLastError()));
    }
    return 0;
}

} // namespace krel_admin
