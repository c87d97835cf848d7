#include "ServiceSupport.h"

#include <cstdio>
#include <iostream>

#include "AdminCommands.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

namespace krel_admin {

ServiceHandle::~ServiceHandle() {
    if (handle != nullptr) {
        CloseServiceHandle(handle);
    }
}

bool openService(const std::string& name, bool change, ServiceHandle& manager,
                 ServiceHandle& service) {
    manager.handle =
        OpenSCManagerW(nullptr, nullptr, change ? SC_MANAGER_ALL_ACCESS : SC_MANAGER_CONNECT);
    if (manager.handle == nullptr) {
        reportError("service manager", static_cast<LSTATUS>(GetLastError()));
        return false;
    }
    service.handle =
        OpenServiceW(manager.handle, krel_platform::utf8ToWide(name).c_str(), SERVICE_ALL_ACCESS);
    if (service.handle == nullptr) {
        reportError(name, static_cast<LSTATUS>(GetLastError()));
        return false;
    }
    return true;
}

const char* serviceStateName(DWORD state) {
    static const char* const names[] = {"STOPPED", "START_PENDING",    "STOP_PENDING",
                                        "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING",
                                        "PAUSED"};
    return state >= 1 && state <= 7 ? names[state - 1] : "UNKNOWN";
}

std::string acceptedControlNames(DWORD accepted) {
    static const struct {
        DWORD bit;
        const char* name;
    } controls[] = {{SERVICE_ACCEPT_STOP, "STOP"},
                    {SERVICE_ACCEPT_PAUSE_CONTINUE, "PAUSE_CONTINUE"},
                    {SERVICE_ACCEPT_SHUTDOWN, "SHUTDOWN"}};
    std::string names;
    DWORD unnamed = accepted;
    for (const auto& control : controls) {
        if ((accepted & control.bit) != 0) {
            names += (names.empty() ? "" : ", ") + std::string(control.name);
            unnamed &= ~control.bit;
        }
    }
    if (unnamed != 0) {
        char other[24];
        std::snprintf(other, sizeof other, "0x%X", static_cast<unsigned int>(unnamed));
        names += (names.empty() ? "" : ", ") + std::string(other);
    }
    return names.empty() ? "none" : names;
}

void printServiceStatus(const std::string& name, const SERVICE_STATUS& status) {
    printLine(L"service: " + krel_platform::utf8ToWide(name));
    std::cout << "state: " << status.dwCurrentState << " "
              << serviceStateName(status.dwCurrentState) << "\n"
              << "controls accepted: " << status.dwControlsAccepted << " ("
              << acceptedControlNames(status.dwControlsAccepted) << ")\n"
              << "exit code: " << status.dwWin32ExitCode << "\n";
}

} // namespace krel_admin
