// The service the service benchmark starts: "service <name>" runs a service on the bare service
// manager calls that stops on a stop control. Its peer is service_peer.cpp.
#include <cstring>
#include <string>

#include "platform/Utf16.h"
#include "platform/WinService.h"
#include "platform/WinSync.h"

namespace {

std::wstring serviceName;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void report(DWORD state) {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
    SetServiceStatus(statusHandle, &status);
}

void handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
}

void serviceMain(DWORD, LPWSTR* argv) {
    statusHandle = RegisterServiceCtrlHandlerW(argv[0], handler);
    report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, 60000);
    report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    serviceName = krel_platform::utf8ToWide(argv[2]);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{&serviceName[0], serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 3;
}
