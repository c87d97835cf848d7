#include "ServiceSupport.h"

#include "AdminCommands.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

#include <iostream>

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

void printServiceStatus(const std::string& name, const SERVICE_STATUS& status) {
    std::cout << "service: " << name << "\n"
              << "state: " << status.dwCurrentState << " "
              << serviceStateName(status.dwCurrentState) << "\n"
              << "controls accepted: " << status.dwControlsAccepted << "\n"
              << "exit code: " << status.dwWin32ExitCode << "\n";
}

} // namespace krel_admin
