// krel-admin create-service <name> <command line> [--display <text>] [--start auto|demand|
// disabled] [--depend <name>]...: enters a service of its own process into the database.
#include "AdminCommands.h"
#include "ServiceSupport.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

namespace krel_admin {
namespace {

bool parseStartType(const std::string& text, DWORD& startType) {
    if (text == "auto") {
        startType = SERVICE_AUTO_START;
    } else if (text == "demand") {
        startType = SERVICE_DEMAND_START;
    } else if (text == "disabled") {
        startType = SERVICE_DISABLED;
    } else {
        return false;
    }
    return true;
}

} // namespace

int createService(const std::vector<std::string>& arguments) {
    if (arguments.size() < 2) {
        return reportUsage(commandNamed("create-service"));
    }
    std::wstring display = krel_platform::utf8ToWide(arguments[0]);
    DWORD startType = SERVICE_DEMAND_START;
    std::wstring dependencies;
    for (size_t index = 2; index < arguments.size(); index += 2) {
        const std::string& option = arguments[index];
        if (index + 1 >= arguments.size()) {
            return reportUsage(commandNamed("create-service"));
        }
        const std::string& value = arguments[index + 1];
        bool understood = true;
        if (option == "--display") {
            display = krel_platform::utf8ToWide(value);
        } else if (option == "--start") {
            understood = parseStartType(value, startType);
        } else if (option == "--depend" && !value.empty()) {
            dependencies += krel_platform::utf8ToWide(value) + L'\0';
        } else {
            understood = false;
        }
        if (!understood) {
            return reportUsage(commandNamed("create-service"));
        }
    }
    dependencies += L'\0';
    ServiceHandle manager;
    manager.handle = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager.handle == nullptr) {
        return reportError("service manager", static_cast<LSTATUS>(GetLastError()));
    }
    ServiceHandle service;
    service.handle =
        CreateServiceW(manager.handle, krel_platform::utf8ToWide(arguments[0]).c_str(),
                       display.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                       SERVICE_ERROR_NORMAL, krel_platform::utf8ToWide(arguments[1]).c_str(),
                       nullptr, nullptr, dependencies.c_str(), nullptr, nullptr);
    if (service.handle == nullptr) {
        return reportError(arguments[0], static_cast<LSTATUS>(GetLastError()));
    }
    return 0;
}

} // namespace krel_admin
