// A service written straight on the service control manager stand-in, which the service
// manager tests start through StartServiceW. Command line: <record file> <service name>
// [pause|hang|never]. It reports RUNNING accepting stop and shutdown (and pause and continue
// with "pause"), and appends to the record file one line per step: "pid <id>", "main
// <argv[0]>", "marker gone|kept" (the manager's marker in the environment), "registry
// inherited|no registry", "control <code>", "stopped", then "end" or "dispatcher <error>".
// With "hang" the handler holds control 128 until the process gets SIGUSR1; with "never" the
// program never becomes a service: it records its pid and waits.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinService.h"
#include "platform/WinSignal.h"
#include "platform/WinSync.h"

namespace {

const DWORD LONGEST_WAIT_MS = 60000;

std::string recordPath;
std::wstring serviceName;
DWORD controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
HANDLE releaseEvent = nullptr;
std::mutex statusMutex;

void record(const std::string& line) {
    std::ofstream(recordPath, std::ios::app) << line << '\n';
}

void report(DWORD state) {
    std::lock_guard<std::mutex> lock(statusMutex);
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, controlsAccepted, 0, 0, 0, 0};
    SetServiceStatus(statusHandle, &status);
}

void handler(DWORD control) {
    record("control " + std::to_string(control));
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
        break;
    case SERVICE_CONTROL_PAUSE:
        report(SERVICE_PAUSED);
        break;
    case SERVICE_CONTROL_CONTINUE:
        report(SERVICE_RUNNING);
        break;
    case 128:
        if (releaseEvent != nullptr) {
            WaitForSingleObject(releaseEvent, LONGEST_WAIT_MS);
            record("released");
        }
        break;
    default:
        break;
    }
}

void serviceMain(DWORD, LPWSTR* argv) {
    record("main " + krel_platform::wideToUtf8(argv[0]));
    record(std::getenv("KREL_SERVICE_NAME") == nullptr ? "marker gone" : "marker kept");
    record(std::getenv("KREL_REGISTRY_DIR") != nullptr ? "registry inherited" : "no registry");
    statusHandle = RegisterServiceCtrlHandlerW(argv[0], handler);
    report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, LONGEST_WAIT_MS);
    report(SERVICE_STOPPED);
    record("stopped");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    recordPath = argv[1];
    serviceName = krel_platform::utf8ToWide(argv[2]);
    const std::string mode = argc > 3 ? argv[3] : "";
    if (mode == "pause") {
        controlsAccepted |= SERVICE_ACCEPT_PAUSE_CONTINUE;
    }
    record("pid " + std::to_string(getpid()));
    if (mode == "never") {
        Sleep(LONGEST_WAIT_MS);
        return 0;
    }
    if (mode == "hang") {
        releaseEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        krel_platform::signal(SIGUSR1, [](int) { SetEvent(releaseEvent); });
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{&serviceName[0], serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        record("dispatcher " + std::to_string(GetLastError()));
        return 3;
    }
    record("end");
    return 0;
}
