#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/ServiceChannel.h"
#include "platform/SwallowingCall.h"
#include "platform/UnixChannel.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinService.h"
#include "platform/WinServiceParts.h"

using namespace krel_platform::service_manager;

namespace {

const DWORD START_TIMEOUT_MILLISECONDS = 30000;
// A connection must have sent its request within this time, or it is closed.
const auto REQUEST_TIME = std::chrono::milliseconds(1000);
// Connections a service holds at once (waiting for their request or for their control).
const size_t MOST_CONNECTIONS = 32;

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
    DWORD startTimeoutMilliseconds = START_TIMEOUT_MILLISECONDS;
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
    krel_platform::callSwallowing([&] { handler(request.code); },
                                  [&] {
                                      // The handler is the service's; nothing it throws may end
                                      // the dispatcher.
                                  });
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
            if (queue.connections < MOST_CONNECTIONS) {
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
        if (queue.connections >= MOST_CONNECTIONS) {
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
        while (queue.connections < MOST_CONNECTIONS) {
            const int connection =
                accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (connection < 0) {
                return;
            }
            ++queue.connections;
            if (!krel_platform::peerIsOwnerOrRoot(connection, geteuid())) {
                ServiceReply refusal{};
                refusal.error = ERROR_ACCESS_DENIED;
                sendReply(connection, refusal);
                queue.closeConnection(connection);
                continue;
            }
            waitingConnections.push_back(
                {connection, std::chrono::steady_clock::now() + REQUEST_TIME});
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

} // namespace

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
        // The service has ended however its thread leaves, a cancellation of the thread included.
        struct EndService {
            ControlQueue& queue;
            ~EndService() { queue.endService(); }
        } end{queue};
        // The service main function is the service's; the dispatcher outlives whatever it throws.
        krel_platform::callSwallowing([&] { serviceMain(1, argv); });
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

namespace service_manager {

DWORD startTimeout() {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.startTimeoutMilliseconds;
}

} // namespace service_manager

void setServiceStartTimeoutForTesting(DWORD milliseconds) {
    DispatcherState& state = dispatcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.startTimeoutMilliseconds = milliseconds == 0 ? START_TIMEOUT_MILLISECONDS : milliseconds;
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
