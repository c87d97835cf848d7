// The program the service benchmark starts. "service <name>": a service on the bare service
// manager calls that stops on a stop control. "peer": the same work without a manager: says it
// is ready with one byte on descriptor 3, reads one byte there, answers one byte and ends.
// "echo <socket>": answers each record sent on the abstract socket with a status-sized record
// until descriptor 3 is closed.
#include "platform/Utf16.h"
#include "platform/WinService.h"
#include "platform/WinSync.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

int echo(const std::string& name) {
    const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path + 1, std::min(name.size(), sizeof(address.sun_path) - 2));
    const socklen_t length = static_cast<socklen_t>(sizeof(sa_family_t) + 1 + name.size());
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 16) != 0) {
        return 1;
    }
    const char ready = 0;
    if (write(3, &ready, 1) != 1) {
        return 1;
    }
    for (;;) {
        pollfd watched[2] = {{listener, POLLIN, 0}, {3, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0 || watched[1].revents != 0) {
            return 0;
        }
        const int served = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        char request[8] = {};
        char reply[32] = {};
        if (recv(served, request, sizeof request, 0) > 0) {
            send(served, reply, sizeof reply, MSG_NOSIGNAL);
        }
        close(served);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "peer") == 0) {
        char byte = 0;
        return write(3, &byte, 1) == 1 && read(3, &byte, 1) == 1 && write(3, &byte, 1) == 1 ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "echo") == 0) {
        return echo(argv[2]);
    }
    if (argc < 3) {
        return 2;
    }
    serviceName = krel_platform::utf8ToWide(argv[2]);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{&serviceName[0], serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 3;
}
