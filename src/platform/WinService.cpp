#include "platform/WinService.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <cxxabi.h>
#include <deque>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/RegistryHive.h"
#include "platform/RegistryStore.h"
#include "platform/ServiceChannel.h"
#include "platform/UnixChannel.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinProcess.h"
#include "platform/WinSync.h"

extern char** environ;

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const char kMarker[] = "KREL_SERVICE_NAME";
const DWORD kStartTimeoutMilliseconds = 30000;
const int kReplyTimeoutSeconds = 30;
// A process ended with TerminateProcess is gone within this time.
const DWORD kProcessEndMilliseconds = 10000;
// A connection must have sent its request within this time, or it is closed.
const auto kRequestTime = std::chrono::milliseconds(1000);
// Connections a service holds at once (waiting for their request or for their control).
const size_t kMostConnections = 32;
// The pause between two looks at an instance that is ending.
const int kEndingPollMilliseconds = 2;

// The records a running service takes on its socket and answers.
enum RequestKind : uint32_t { QueryRequest = 0, ControlRequest = 1, SystemControlRequest = 2 };
struct ServiceRequest {
    uint32_t kind;
    uint32_t code;
};
struct ServiceReply {
    uint32_t error;
    SERVICE_STATUS status;
};

class ManagerObject : public krel_platform::KernelObject {};

class ServiceObject : public krel_platform::KernelObject {
public:
    explicit ServiceObject(const std::wstring& serviceName) : name(serviceName) {}
    const std::wstring name;
};

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

SC_HANDLE failHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

std::wstring keyOf(const std::wstring& name) {
    return kServicesKey + name;
}

bool isValidName(LPCWSTR name) {
    if (name == nullptr || *name == L'\0') {
        return false;
    }
    return std::wcspbrk(name, L"\\/") == nullptr;
}

bool sameName(const std::wstring& left, const std::wstring& right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (size_t index = 0; index < left.size(); ++index) {
        if (std::towlower(left[index]) != std::towlower(right[index])) {
            return false;
        }
    }
    return true;
}

std::shared_ptr<ServiceObject> serviceOf(SC_HANDLE handle) {
    return krel_platform::referenceHandleAs<ServiceObject>(reinterpret_cast<HANDLE>(handle));
}

// A whole value of the service's key, with its type; false when the key or the value is missing.
bool readServiceValue(const std::wstring& name, const wchar_t* valueName, DWORD& type,
                      std::vector<BYTE>& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyOf(name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    bool found = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        data.assign(size, 0);
        found =
            RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    RegCloseKey(key);
    return found;
}

// The UTF-16 units of string data, up to its first NUL or its end.
std::u16string unitsOf(const std::vector<BYTE>& data) {
    std::u16string units(data.size() / sizeof(char16_t), u'\0');
    std::memcpy(&units[0], data.data(), units.size() * sizeof(char16_t));
    return units;
}

// The ImagePath of a service, false when the name has none (no such service).
bool readImagePath(const std::wstring& name, std::wstring& imagePath) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readServiceValue(name, L"ImagePath", type, data) ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    imagePath = krel_platform::utf16ToWide(unitsOf(data).c_str());
    return true;
}

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
    timeval timeout{kReplyTimeoutSeconds, 0};
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

// The dispatcher of this process: at most one at a time.
struct DispatcherState {
    std::mutex mutex;
    bool running = false;
    std::wstring name;
    LPHANDLER_FUNCTION handler = nullptr;
    uintptr_t statusToken = 0;
    SERVICE_STATUS status{};
    std::vector<DWORD> reported;
    bool markerForTesting = false;
    std::wstring testMarker;
    DWORD startTimeoutMilliseconds = kStartTimeoutMilliseconds;
};

DispatcherState& dispatcher() {
    static DispatcherState* state = new DispatcherState;
    return *state;
}

// Takes the name the manager gave this process, removing it from the environment.
bool takeMarker(std::wstring& name) {
    DispatcherState& state = dispatcher();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.markerForTesting) {
            state.markerForTesting = false;
            name = state.testMarker;
            return true;
        }
    }
    const char* value = std::getenv(kMarker);
    if (value == nullptr) {
        return false;
    }
    name = krel_platform::utf8ToWide(value);
    unsetenv(kMarker);
    return true;
}

// Whether a control may reach the handler; the error to answer otherwise.
DWORD acceptance(const SERVICE_STATUS& status, DWORD code, bool asSystem) {
    if (asSystem) {
        return ERROR_SUCCESS;
    }
    switch (code) {
    case SERVICE_CONTROL_STOP:
        return (status.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0
                   ? ERROR_SUCCESS
                   : ERROR_INVALID_SERVICE_CONTROL;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        return (status.dwControlsAccepted & SERVICE_ACCEPT_PAUSE_CONTINUE) != 0
                   ? ERROR_SUCCESS
                   : ERROR_INVALID_SERVICE_CONTROL;
    case SERVICE_CONTROL_INTERROGATE:
        return ERROR_SUCCESS;
    default:
        return code >= 128 && code <= 255 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
}

// The status the service last reported, as the answer to a query.
ServiceReply statusReply() {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    ServiceReply reply{};
    reply.status = state.status;
    return reply;
}

// Answers a control, running the handler on the calling (the dispatcher's) thread.
ServiceReply answerControl(const ServiceRequest& request) {
    DispatcherState& state = dispatcher();
    ServiceReply reply{};
    LPHANDLER_FUNCTION handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        reply.status = state.status;
        if (state.status.dwCurrentState == SERVICE_STOPPED) {
            reply.error = ERROR_SERVICE_NOT_ACTIVE;
        } else if (state.handler == nullptr) {
            reply.error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        } else {
            reply.error =
                acceptance(state.status, request.code, request.kind == SystemControlRequest);
        }
        handler = state.handler;
    }
    if (reply.error != ERROR_SUCCESS) {
        return reply;
    }
    try {
        handler(request.code);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // The handler is the service's; nothing it throws may end the dispatcher.
    }
    return statusReply();
}

void sendReply(int connection, const ServiceReply& reply) {
    send(connection, &reply, sizeof(reply), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// A control read from the channel, waiting for the dispatcher's thread with its connection.
struct PendingControl {
    int connection;
    ServiceRequest request;
};

// What the channel's thread hands to the dispatcher's thread, and the end of the service.
struct ControlQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<PendingControl> controls;
    bool serviceEnded = false;
    // Connections open on either thread.
    std::atomic<size_t> connections{0};

    void push(const PendingControl& control) {
        std::lock_guard<std::mutex> lock(mutex);
        controls.push_back(control);
        changed.notify_all();
    }

    void endService() {
        std::lock_guard<std::mutex> lock(mutex);
        serviceEnded = true;
        changed.notify_all();
    }

    // The next control; false once the queue is empty and the service has ended (or, with
    // wait false, once it is empty).
    bool next(PendingControl& control, bool wait) {
        std::unique_lock<std::mutex> lock(mutex);
        if (wait) {
            changed.wait(lock, [this] { return !controls.empty() || serviceEnded; });
        }
        if (controls.empty()) {
            return false;
        }
        control = controls.front();
        controls.pop_front();
        return true;
    }

    void closeConnection(int connection) {
        close(connection);
        --connections;
    }
};

// Runs the controls, one after the other, until the service has ended.
void runControls(ControlQueue& queue, bool wait) {
    PendingControl control{};
    while (queue.next(control, wait)) {
        sendReply(control.connection, answerControl(control.request));
        queue.closeConnection(control.connection);
    }
}

// Serves the channel on a thread of its own: checks each client's account as soon as it is
// accepted, answers queries at once from the last reported status, hands controls to the
// dispatcher's thread, and closes a connection that has not sent its request in time, so
// that no client holds the channel.
class ChannelServer {
public:
    ChannelServer(int listener, ControlQueue& queue) : listener(listener), queue(queue) {}

    // Serves until stop becomes readable.
    void run(int stop) {
        for (;;) {
            std::vector<pollfd> watched{{stop, POLLIN, 0}};
            if (queue.connections < kMostConnections) {
                watched.push_back({listener, POLLIN, 0});
            }
            for (const Waiting& waiting : waitingConnections) {
                watched.push_back({waiting.connection, POLLIN, 0});
            }
            if (poll(watched.data(), watched.size(), pollTimeout()) < 0 && errno != EINTR) {
                break;
            }
            if (watched[0].revents != 0) {
                break;
            }
            readRequests(watched);
            closeLate();
            if (watched.size() > 1 && watched[1].fd == listener && watched[1].revents != 0) {
                acceptClients();
            }
        }
        for (const Waiting& waiting : waitingConnections) {
            queue.closeConnection(waiting.connection);
        }
    }

private:
    struct Waiting {
        int connection;
        std::chrono::steady_clock::time_point deadline;
    };

    int pollTimeout() const {
        if (queue.connections >= kMostConnections) {
            return 50;
        }
        if (waitingConnections.empty()) {
            return -1;
        }
        const auto first = std::min_element(waitingConnections.begin(), waitingConnections.end(),
                                            [](const Waiting& left, const Waiting& right) {
                                                return left.deadline < right.deadline;
                                            });
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            first->deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<long long>(0, left.count()) + 1);
    }

    void acceptClients() {
        while (queue.connections < kMostConnections) {
            const int connection =
                accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (connection < 0) {
                return;
            }
            ++queue.connections;
            uid_t peer = 0;
            if (!krel_platform::peerUserId(connection, peer) || (peer != geteuid() && peer != 0)) {
                ServiceReply refusal{};
                refusal.error = ERROR_ACCESS_DENIED;
                sendReply(connection, refusal);
                queue.closeConnection(connection);
                continue;
            }
            waitingConnections.push_back(
                {connection, std::chrono::steady_clock::now() + kRequestTime});
        }
    }

    void readRequests(const std::vector<pollfd>& watched) {
        for (const pollfd& entry : watched) {
            if (entry.revents == 0 || entry.fd == listener || &entry == &watched[0]) {
                continue;
            }
            ServiceRequest request{};
            const ssize_t got = recv(entry.fd, &request, sizeof(request), MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            forget(entry.fd);
            if (got != static_cast<ssize_t>(sizeof(request))) {
                queue.closeConnection(entry.fd);
            } else if (request.kind == QueryRequest) {
                sendReply(entry.fd, statusReply());
                queue.closeConnection(entry.fd);
            } else {
                queue.push({entry.fd, request});
            }
        }
    }

    void closeLate() {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = waitingConnections.begin(); it != waitingConnections.end();) {
            if (it->deadline <= now) {
                queue.closeConnection(it->connection);
                it = waitingConnections.erase(it);
            } else {
                ++it;
            }
        }
    }

    void forget(int connection) {
        waitingConnections.erase(std::remove_if(waitingConnections.begin(),
                                                waitingConnections.end(),
                                                [connection](const Waiting& waiting) {
                                                    return waiting.connection == connection;
                                                }),
                                 waitingConnections.end());
    }

    const int listener;
    ControlQueue& queue;
    std::vector<Waiting> waitingConnections;
};

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

DWORD startTimeout() {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.startTimeoutMilliseconds;
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
            WaitForSingleObject(process, kProcessEndMilliseconds);
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

// Registry strings are UTF-16 data with their terminators.
LSTATUS setUnits(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text);
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(units.data()),
                          static_cast<DWORD>(units.size() * sizeof(char16_t)));
}

LSTATUS setString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    return setUnits(key, name, type, text + L'\0');
}

LSTATUS setNumber(HKEY key, const wchar_t* name, DWORD number) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof(number));
}

// The NUL-separated list ended by an empty string, with its final NULs.
std::wstring multiString(LPCWSTR list) {
    std::wstring text;
    for (LPCWSTR entry = list; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        text.append(entry, std::wcslen(entry) + 1);
    }
    text += L'\0';
    return text;
}

LSTATUS writeService(HKEY key, LPCWSTR displayName, DWORD serviceType, DWORD startType,
                     DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR dependencies,
                     LPCWSTR serviceStartName) {
    LSTATUS status = setString(key, L"DisplayName", REG_SZ, displayName);
    if (status == ERROR_SUCCESS) {
        status = setNumber(key, L"Type", serviceType);
    }
    if (status == ERROR_SUCCESS) {
        status = setNumber(key, L"Start", startType);
    }
    if (status == ERROR_SUCCESS) {
        status = setNumber(key, L"ErrorControl", errorControl);
    }
    if (status == ERROR_SUCCESS && dependencies != nullptr && *dependencies != L'\0') {
        status = setUnits(key, L"DependOnService", REG_MULTI_SZ, multiString(dependencies));
    }
    if (status == ERROR_SUCCESS) {
        status = setString(key, L"ObjectName", REG_SZ,
                           serviceStartName != nullptr ? serviceStartName : L"LocalSystem");
    }
    // ImagePath last: a key becomes a service only once it is complete.
    if (status == ERROR_SUCCESS) {
        status = setString(key, L"ImagePath", REG_EXPAND_SZ, binaryPathName);
    }
    return status;
}

BOOL sendControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status, RequestKind kind) {
    std::shared_ptr<ServiceObject> object = serviceOf(service);
    if (object == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (status == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    ServiceReply reply{};
    const DWORD error = exchange(object->name, kind, control, reply);
    if (error != ERROR_SUCCESS) {
        return fail(error);
    }
    *status = reply.status;
    return reply.error == ERROR_SUCCESS ? TRUE : fail(reply.error);
}

// A REG_DWORD value of the service's key; false when it has none.
bool readNumber(const std::wstring& name, const wchar_t* valueName, DWORD& number) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readServiceValue(name, valueName, type, data) || type != REG_DWORD ||
        data.size() != sizeof(number)) {
        return false;
    }
    std::memcpy(&number, data.data(), sizeof(number));
    return true;
}

// The names in the service's DependOnService list.
std::vector<std::wstring> readDependencies(const std::wstring& name) {
    std::vector<std::wstring> names;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readServiceValue(name, L"DependOnService", type, data) || type != REG_MULTI_SZ) {
        return names;
    }
    const std::u16string units = unitsOf(data);
    for (size_t at = 0; at < units.size() && units[at] != u'\0';) {
        const size_t end = std::min(units.find(u'\0', at), units.size());
        names.push_back(krel_platform::utf16ToWide(units.substr(at, end - at).c_str()));
        at = end + 1;
    }
    return names;
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
        poll(nullptr, 0, kEndingPollMilliseconds);
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

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
    if ((machineName != nullptr && *machineName != L'\0') || databaseName != nullptr) {
        return failHandle(ERROR_INVALID_PARAMETER);
    }
    // Changing the database is an administrator's right: it needs a writable machine hive.
    if ((desiredAccess & SC_MANAGER_CREATE_SERVICE) != 0) {
        const std::shared_ptr<krel_platform::RegistryHive> hive =
            krel_platform::RegistryStore::instance().hive(
                krel_platform::RegistryStore::localMachine);
        if (hive == nullptr || !hive->isWritable()) {
            return failHandle(ERROR_ACCESS_DENIED);
        }
    }
    return reinterpret_cast<SC_HANDLE>(
        krel_platform::insertHandle(std::make_shared<ManagerObject>()));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD) {
    if (krel_platform::referenceHandleAs<ManagerObject>(reinterpret_cast<HANDLE>(manager)) ==
        nullptr) {
        return failHandle(ERROR_INVALID_HANDLE);
    }
    if (!isValidName(serviceName)) {
        return failHandle(ERROR_INVALID_NAME);
    }
    std::wstring imagePath;
    if (!readImagePath(serviceName, imagePath)) {
        return failHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    return reinterpret_cast<SC_HANDLE>(
        krel_platform::insertHandle(std::make_shared<ServiceObject>(serviceName)));
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName, DWORD,
                         DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCWSTR binaryPathName, LPCWSTR, LPDWORD, LPCWSTR dependencies,
                         LPCWSTR serviceStartName, LPCWSTR) {
    if (krel_platform::referenceHandleAs<ManagerObject>(reinterpret_cast<HANDLE>(manager)) ==
        nullptr) {
        return failHandle(ERROR_INVALID_HANDLE);
    }
    if (!isValidName(serviceName)) {
        return failHandle(ERROR_INVALID_NAME);
    }
    if (binaryPathName == nullptr || *binaryPathName == L'\0') {
        return failHandle(ERROR_INVALID_PARAMETER);
    }
    std::wstring existing;
    if (readImagePath(serviceName, existing)) {
        return failHandle(ERROR_SERVICE_EXISTS);
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyOf(serviceName).c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return failHandle(static_cast<DWORD>(status));
    }
    status = writeService(key, displayName != nullptr ? displayName : serviceName, serviceType,
                          startType, errorControl, binaryPathName, dependencies, serviceStartName);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return failHandle(static_cast<DWORD>(status));
    }
    return reinterpret_cast<SC_HANDLE>(
        krel_platform::insertHandle(std::make_shared<ServiceObject>(serviceName)));
}

BOOL DeleteService(SC_HANDLE service) {
    std::shared_ptr<ServiceObject> object = serviceOf(service);
    if (object == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    std::wstring imagePath;
    if (!readImagePath(object->name, imagePath)) {
        return fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    }
    const LSTATUS status = SHDeleteKeyW(HKEY_LOCAL_MACHINE, keyOf(object->name).c_str());
    return status == ERROR_SUCCESS ? TRUE : fail(static_cast<DWORD>(status));
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    const HANDLE object = reinterpret_cast<HANDLE>(handle);
    if (krel_platform::referenceHandleAs<ServiceObject>(object) == nullptr &&
        krel_platform::referenceHandleAs<ManagerObject>(object) == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    krel_platform::removeHandle(object);
    return TRUE;
}

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
    std::shared_ptr<ServiceObject> object = serviceOf(service);
    if (object == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (status == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
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
    *status = reply.status;
    return reply.error == ERROR_SUCCESS ? TRUE : fail(reply.error);
}

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* serviceStartTable) {
    if (serviceStartTable == nullptr || serviceStartTable[0].lpServiceName == nullptr ||
        serviceStartTable[0].lpServiceProc == nullptr) {
        return fail(ERROR_INVALID_DATA);
    }
    DispatcherState& state = dispatcher();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.running) {
            return fail(ERROR_SERVICE_ALREADY_RUNNING);
        }
    }
    std::wstring name;
    if (!takeMarker(name)) {
        return fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    }
    const SERVICE_TABLE_ENTRYW* entry = serviceStartTable;
    while (entry->lpServiceName != nullptr && !sameName(entry->lpServiceName, name)) {
        ++entry;
    }
    if (entry->lpServiceName == nullptr || entry->lpServiceProc == nullptr) {
        return fail(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    krel_platform::ServiceChannelListener channel;
    const DWORD error = channel.open(name);
    if (error != ERROR_SUCCESS) {
        return fail(error);
    }
    const int stop = eventfd(0, EFD_CLOEXEC);
    if (stop < 0) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.running = true;
        state.name = entry->lpServiceName;
        state.handler = nullptr;
        ++state.statusToken;
        state.status =
            SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
    }
    ControlQueue queue;
    std::thread channelThread(
        [&channel, &queue, stop] { ChannelServer(channel.descriptor(), queue).run(stop); });
    const LPSERVICE_MAIN_FUNCTIONW serviceMain = entry->lpServiceProc;
    std::wstring argument = state.name;
    std::thread serviceThread([serviceMain, &argument, &queue] {
        LPWSTR argv[] = {&argument[0], nullptr};
        try {
            serviceMain(1, argv);
        } catch (abi::__forced_unwind&) {
            queue.endService();
            throw;
        } catch (...) {
            // The service main function is the service's; the dispatcher outlives it.
        }
        queue.endService();
    });
    runControls(queue, true);
    serviceThread.join();
    const uint64_t one = 1;
    (void)!write(stop, &one, sizeof(one));
    channelThread.join();
    close(stop);
    channel.close();
    // Controls read before the channel closed are still answered.
    runControls(queue, false);
    std::lock_guard<std::mutex> lock(state.mutex);
    state.running = false;
    state.handler = nullptr;
    return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR serviceName, LPHANDLER_FUNCTION handler) {
    if (!isValidName(serviceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.running || !sameName(serviceName, state.name)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (handler == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    state.handler = handler;
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(state.statusToken);
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle, LPSERVICE_STATUS status) {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.running || state.handler == nullptr ||
        reinterpret_cast<uintptr_t>(statusHandle) != state.statusToken) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (status == nullptr || status->dwCurrentState < SERVICE_STOPPED ||
        status->dwCurrentState > SERVICE_PAUSED) {
        return fail(ERROR_INVALID_DATA);
    }
    state.status = *status;
    state.reported.push_back(status->dwCurrentState);
    return TRUE;
}

namespace krel_platform {

BOOL controlServiceAsSystem(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    return sendControl(service, control, status, SystemControlRequest);
}

void setServiceStartTimeoutForTesting(DWORD milliseconds) {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.startTimeoutMilliseconds = milliseconds == 0 ? kStartTimeoutMilliseconds : milliseconds;
}

void setServiceMarkerForTesting(const wchar_t* serviceName) {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.markerForTesting = serviceName != nullptr;
    state.testMarker = serviceName != nullptr ? serviceName : L"";
}

std::vector<DWORD> reportedServiceStates() {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.reported;
}

void clearReportedServiceStates() {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.reported.clear();
}

} // namespace krel_platform
