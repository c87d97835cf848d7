// krel-admin control-service <name> <control> [--as-system]: sends stop, pause, continue,
// interrogate, shutdown or a code number to a running service and prints the status it answers.
// Shutdown, and any control with --as-system, goes the way the system sends controls, past the
// rules for what a caller may send.
#include <cstdlib>

#include "AdminCommands.h"
#include "ServiceSupport.h"
#include "platform/WinBase.h"

namespace krel_admin {
namespace {

bool parseControl(const std::string& text, DWORD& control) {
    static const struct {
        const char* name;
        DWORD code;
    } names[] = {{"stop", SERVICE_CONTROL_STOP},
                 {"pause", SERVICE_CONTROL_PAUSE},
                 {"continue", SERVICE_CONTROL_CONTINUE},
                 {"interrogate", SERVICE_CONTROL_INTERROGATE},
                 {"shutdown", SERVICE_CONTROL_SHUTDOWN}};
    for (const auto& entry : names) {
        if (text == entry.name) {
            control = entry.code;
            return true;
        }
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number > 0xFFFFFFFFul) {
        return false;
    }
    control = static_cast<DWORD>(number);
    return true;
}

} // namespace

int controlService(const std::vector<std::string>& arguments) {
    DWORD control = 0;
    const bool asSystem = arguments.size() == 3 && arguments[2] == "--as-system";
    if ((arguments.size() != 2 && !asSystem) || !parseControl(arguments[1], control)) {
        return reportUsage(commandNamed("control-service"));
    }
    ServiceHandle manager;
    ServiceHandle service;
    if (!openService(arguments[0], false, manager, service)) {
        return 1;
    }
    SERVICE_STATUS status{};
    const BOOL sent = asSystem || control == SERVICE_CONTROL_SHUTDOWN
                          ? krel_platform::controlServiceAsSystem(service.handle, control, &status)
                          : ControlService(service.handle, control, &status);
    if (!sent) {
        return reportError(arguments[0], static_cast<LSTATUS>(GetLastError()));
    }
    printServiceStatus(arguments[0], status);
    return 0;
}

} // namespace krel_admin
