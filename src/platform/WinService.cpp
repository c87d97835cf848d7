#include "platform/WinService.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "platform/ServiceChannel.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinProcess.h"
#include "platform/WinServiceParts.h"
#include "platform/WinSync.h"

extern char** environ;

using namespace krel_platform::service_manager;

namespace {

const int REPLY_TIMEOUT_SECONDS = 30;
// A process ended with TerminateProcess is gone within this time.
const DWORD PROCESS_END_MILLISECONDS = 10000;
// The pause between two looks at an instance that is ending.
const int ENDING_POLL_MILLISECONDS = 2;

DWORD connectionError(krel_platform::ServiceChannelState state) {
    switch (state) {
    case krel_platform::ServiceChannelState::absent:
    case krel_platform::ServiceChannelState::abandoned:
    // Another account can never be the service: what answers there is not believed.
    case krel_platform::ServiceChannelState::foreign:
        return ERROR_SERVICE_NOT_ACTIVE;
    case krel_platform::ServiceChannelState::busy:
        return ERROR_SERVICE_REQUEST_TIMEOUT;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// Sends one record to the service and reads its answer; only a service running as the machine
// hive's owner (or root) is asked. Answers ERROR_SERVICE_NOT_ACTIVE when the service does not
// run (another account answering on its channel included), ERROR_ACCESS_DENIED when its
// channel cannot be reached, ERROR_SERVICE_REQUEST_TIMEOUT when no answer comes. found tells what
// was found there (closed when the service closed the connection without answering).
DWORD exchange(const std::wstring& name, RequestKind kind, DWORD code, ServiceReply& reply,
               krel_platform::ServiceChannelState& found) {
    const int descriptor = krel_platform::connectServiceChannel(name, found);
    if (descriptor < 0) {
        return connectionError(found);
    }
    timeval timeout{REPLY_TIMEOUT_SECONDS, 0};
    setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    const ServiceRequest request{kind, code};
    DWORD error = ERROR_SERVICE_REQUEST_TIMEOUT;
    ssize_t got = -1;
    if (send(descriptor, &request, sizeof(request), MSG_NOSIGNAL) == sizeof(request)) {
        got = recv(descriptor, &reply, sizeof(reply), 0);
    }
    if (got == sizeof(reply)) {
        error = ERROR_SUCCESS;
    } else if (got == 0 || (got < 0 && (errno == ECONNRESET || errno == EPIPE))) {
        found = krel_platform::ServiceChannelState::closed;
    }
    close(descriptor);
    return error;
}

DWORD exchange(const std::wstring& name, RequestKind kind, DWORD code, ServiceReply& reply) {
    krel_platform::ServiceChannelState found;
    return exchange(name, kind, code, reply, found);
}

// The caller's environment with the marker naming the service, as a wide block.
std::wstring serviceEnvironment(const std::wstring& name) {
    std::wstring block;
    const std::string prefix = std::string(kMarker) + "=";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).compare(0, prefix.size(), prefix) != 0) {
            block += krel_platform::utf8ToWide(*entry);
            block += L'\0';
        }
    }
    block += krel_platform::utf8ToWide(prefix) + name;
    block += L'\0';
    block += L'\0';
    return block;
}

// Waits until the started service answers; the error when it ends first or takes too long.
// A process that has not become the service in time is ended: nothing is left behind.
DWORD awaitListening(const std::wstring& name, HANDLE process) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeout());
    for (;;) {
        ServiceReply reply{};
        if (exchange(name, QueryRequest, 0, reply) == ERROR_SUCCESS) {
            return ERROR_SUCCESS;
        }
        // The process handle is the pause between attempts: it ends it early when the
        // service's process ends.
        if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0) {
            return ERROR_PROCESS_ABORTED;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            TerminateProcess(process, ERROR_SERVICE_REQUEST_TIMEOUT);
            WaitForSingleObject(process, PROCESS_END_MILLISECONDS);
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
    }
}

// Processes this one started, closed once they have ended so that they are reaped (one that
// has already ended, at once).
void keepStartedProcess(HANDLE process) {
    static std::mutex mutex;
    static std::vector<HANDLE>* started = new std::vector<HANDLE>;
    std::lock_guard<std::mutex> lock(mutex);
    if (process != nullptr) {
        started->push_back(process);
    }
    for (auto it = started->begin(); it != started->end();) {
        if (WaitForSingleObject(*it, 0) == WAIT_OBJECT_0) {
            CloseHandle(*it);
            it = started->erase(it);
        } else {
            ++it;
        }
    }
}

// The service of a handle whose status a call fills in; null, with the last error set, for a
// handle that names no service (ERROR_INVALID_HANDLE) or no status to fill
// (ERROR_INVALID_PARAMETER).
std::shared_ptr<ServiceObject> statusCallTarget(SC_HANDLE service, LPSERVICE_STATUS status) {
    std::shared_ptr<ServiceObject> object = serviceOf(service);
    if (object == nullptr) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (status == nullptr) {
        fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return object;
}

// Fills in the status the service answered; FALSE with the service's error when it refused.
BOOL takeReply(const ServiceReply& reply, LPSERVICE_STATUS status) {
    *status = reply.status;
    return reply.error == ERROR_SUCCESS ? TRUE : fail(reply.error);
}

BOOL sendControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status, RequestKind kind) {
    const std::shared_ptr<ServiceObject> object = statusCallTarget(service, status);
    if (object == nullptr) {
        return FALSE;
    }
    ServiceReply reply{};
    const DWORD error = exchange(object->name, kind, control, reply);
    if (error != ERROR_SUCCESS) {
        return fail(error);
    }
    return takeReply(reply, status);
}

// Whether the service answers a state other than STOPPED (one that answers STOPPED is ending).
bool isRunning(const std::wstring& name) {
    ServiceReply reply{};
    return exchange(name, QueryRequest, 0, reply) == ERROR_SUCCESS &&
           reply.status.dwCurrentState != SERVICE_STOPPED;
}

DWORD startService(const std::wstring& name, const std::vector<std::wstring>& starting);

// Starts the services this one depends on that do not run, first. ERROR_SERVICE_DEPENDENCY_
// DELETED when one does not exist, ERROR_CIRCULAR_DEPENDENCY when one depends on a service
// being started, ERROR_SERVICE_DEPENDENCY_FAIL when one cannot be started.
DWORD startDependencies(const std::wstring& name, const std::vector<std::wstring>& starting) {
    const std::vector<std::wstring> dependencies = readDependencies(name);
    std::wstring imagePath;
    for (const std::wstring& dependency : dependencies) {
        if (!isValidName(dependency.c_str()) || !readImagePath(dependency, imagePath)) {
            return ERROR_SERVICE_DEPENDENCY_DELETED;
        }
    }
    for (const std::wstring& dependency : dependencies) {
        if (std::any_of(starting.begin(), starting.end(), [&dependency](const std::wstring& other) {
                return sameName(dependency, other);
            })) {
            return ERROR_CIRCULAR_DEPENDENCY;
        }
        if (isRunning(dependency)) {
            continue;
        }
        std::vector<std::wstring> chain = starting;
        chain.push_back(dependency);
        const DWORD error = startService(dependency, chain);
        if (error != ERROR_SUCCESS && error != ERROR_SERVICE_ALREADY_RUNNING) {
            return ERROR_SERVICE_DEPENDENCY_FAIL;
        }
    }
    return ERROR_SUCCESS;
}

// ERROR_SUCCESS once no instance of the service runs. Only the service's own account answering
// counts as an instance. One that answers STOPPED, or closes the connection without answering,
// is ending: it is waited for until it has let go of its channel, at most until the deadline
// (then ERROR_SERVICE_REQUEST_TIMEOUT). ERROR_SERVICE_ALREADY_RUNNING when the service answers
// another state; a channel the caller cannot reach (or that does not answer) is not started
// over: its error.
DWORD awaitNoInstance(const std::wstring& name, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        ServiceReply reply{};
        krel_platform::ServiceChannelState found;
        const DWORD reached = exchange(name, QueryRequest, 0, reply, found);
        if (reached == ERROR_SUCCESS && reply.status.dwCurrentState != SERVICE_STOPPED) {
            return ERROR_SERVICE_ALREADY_RUNNING;
        }
        const bool ending =
            reached == ERROR_SUCCESS || found == krel_platform::ServiceChannelState::closed;
        if (!ending && reached != ERROR_SERVICE_NOT_ACTIVE) {
            return reached;
        }
        if (!ending && !krel_platform::serviceChannelHeld(name)) {
            return ERROR_SUCCESS;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
        poll(nullptr, 0, ENDING_POLL_MILLISECONDS);
    }
}

// Starts the service once no instance of it runs, holding the start lock of its name.
DWORD startUnlessRunning(const std::wstring& name, std::wstring& imagePath,
                         const std::vector<std::wstring>& starting,
                         std::chrono::steady_clock::time_point deadline) {
    const DWORD running = awaitNoInstance(name, deadline);
    if (running != ERROR_SUCCESS) {
        return running;
    }
    DWORD startType = SERVICE_DEMAND_START;
    if (readNumber(name, L"Start", startType) && startType == SERVICE_DISABLED) {
        return ERROR_SERVICE_DISABLED;
    }
    const DWORD dependencyError = startDependencies(name, starting);
    if (dependencyError != ERROR_SUCCESS) {
        return dependencyError;
    }
    std::wstring environment = serviceEnvironment(name);
    PROCESS_INFORMATION information{};
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &imagePath[0], nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT, &environment[0], nullptr,
                        &startup, &information)) {
        return GetLastError();
    }
    if (information.hThread != nullptr) {
        CloseHandle(information.hThread);
    }
    const DWORD error = awaitListening(name, information.hProcess);
    keepStartedProcess(information.hProcess);
    return error;
}

// Starts the service (the last of the services being started) as StartServiceW does. Starts of
// one service take turns across processes, each holding the turn until the instance it started
// answers (or failed to): a start that follows finds it running, and the program is started
// once.
DWORD startService(const std::wstring& name, const std::vector<std::wstring>& starting) {
    std::wstring imagePath;
    if (!readImagePath(name, imagePath)) {
        return ERROR_SERVICE_DOES_NOT_EXIST;
    }
    const DWORD timeout = startTimeout();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    const int turn = krel_platform::lockServiceStart(name, static_cast<int>(timeout));
    if (turn < 0) {
        return errno == ETIMEDOUT ? ERROR_SERVICE_REQUEST_TIMEOUT : ERROR_ACCESS_DENIED;
    }
    const DWORD error = startUnlessRunning(name, imagePath, starting, deadline);
    close(turn);
    return error;
}

} // namespace

BOOL StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*) {
    std::shared_ptr<ServiceObject> object = serviceOf(service);
    if (object == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const DWORD error = startService(object->name, {object->name});
    return error == ERROR_SUCCESS ? TRUE : fail(error);
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    return sendControl(service, control, status, ControlRequest);
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    const std::shared_ptr<ServiceObject> object = statusCallTarget(service, status);
    if (object == nullptr) {
        return FALSE;
    }
    ServiceReply reply{};
    krel_platform::ServiceChannelState found;
    const DWORD error = exchange(object->name, QueryRequest, 0, reply, found);
    if (error == ERROR_SERVICE_NOT_ACTIVE) {
        // A channel left without its listener: the process ended without reporting STOPPED.
        const DWORD exitCode =
            found == krel_platform::ServiceChannelState::abandoned ? ERROR_PROCESS_ABORTED : 0;
        *status = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, exitCode, 0, 0, 0};
        return TRUE;
    }
    if (error != ERROR_SUCCESS) {
        return fail(error);
    }
    return takeReply(reply, status);
}

namespace krel_platform {

BOOL controlServiceAsSystem(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    return sendControl(service, control, status, SystemControlRequest);
}

} // namespace krel_platform
