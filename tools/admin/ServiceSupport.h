// What the service commands of krel-admin share.
#pragma once

#include <string>

#include "platform/WinService.h"

namespace krel_admin {

// A manager or service handle opened for a command, closed when the command ends.
class ServiceHandle {
public:
    ServiceHandle() = default;
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle();

    SC_HANDLE handle = nullptr;
};

// Opens the manager (for all access when it is to change the database) and the named
// service; false after reporting the refusal on stderr.
bool openService(const std::string& name, bool change, ServiceHandle& manager,
                 ServiceHandle& service);

// The state's name (RUNNING, ...).
const char* serviceStateName(DWORD state);
// The names of the controls a service accepts ("STOP, PAUSE_CONTINUE"; "none"); bits without a
// name in hexadecimal.
std::string acceptedControlNames(DWORD accepted);
// Prints the status as the query command shows it.
void printServiceStatus(const std::string& name, const SERVICE_STATUS& status);

} // namespace krel_admin
