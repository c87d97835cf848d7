#include "platform/WinService.h"

#include "RegistryHive.h"
#include "RegistryStore.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinProcess.h"
#include "platform/WinSync.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const char kMarker[] = "KREL_SERVICE_NAME";
const DWORD kStartTimeoutMilliseconds = 30000;
const int kReplyTimeoutSeconds = 30;

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

// The abstract socket address of a service: "krel-service/<UTF-8 name>" after a NUL byte.
socklen_t addressOf(const std::wstring& name, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    const std::string path = "krel-service/" + krel_platform::wideToUtf8(name);
    const size_t length = std::min(path.size(), sizeof(address.sun_path) - 1);
    path.copy(address.sun_path + 1, length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

// The ImagePath of a service, false when the name has none (no such service).
bool readImagePath(const std::wstring& name, std::wstring& imagePath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyOf(name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    bool found =
        RegQueryValueExW(key, L"ImagePath", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ);
    if (found) {
        std::u16string units(size / sizeof(char16_t) + 1, u'\0');
        size = static_cast<DWORD>(units.size() * sizeof(char16_t));
        found = RegQueryValueExW(key, L"ImagePath", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&units[0]), &size) == ERROR_SUCCESS;
        imagePath = krel_platform::utf16ToWide(units.c_str());
    }
    RegCloseKey(key);
    return found;
}

// Sends one record to the service and reads its answer. Answers ERROR_SERVICE_NOT_ACTIVE
// when nothing listens under the name, ERROR_SERVICE_REQUEST_TIMEOUT when no answer comes.
DWORD exchange(const std::wstring& name, RequestKind kind, DWORD code, ServiceReply& reply) {
    const int descriptor = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    sockaddr_un address;
    const socklen_t length = addressOf(name, address);
    DWORD error = ERROR_SERVICE_NOT_ACTIVE;
    if (connect(descriptor, reinterpret_cast<sockaddr*>(&address), length) == 0) {
        timeval timeout{kReplyTimeoutSeconds, 0};
        setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        const ServiceRequest request{kind, code};
        error = ERROR_SERVICE_REQUEST_TIMEOUT;
        if (send(descriptor, &request, sizeof(request), MSG_NOSIGNAL) == sizeof(request) &&
            recv(descriptor, &reply, sizeof(reply), 0) == sizeof(reply)) {
            error = ERROR_SUCCESS;
        }
    }
    close(descriptor);
    return error;
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

// Answers one record; a control runs the handler on this (the dispatcher's) thread first.
ServiceReply answer(const ServiceRequest& request) {
    DispatcherState& state = dispatcher();
    ServiceReply reply{};
    LPHANDLER_FUNCTION handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        reply.status = state.status;
        if (request.kind == QueryRequest) {
            return reply;
        }
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
    } catch (...) {
        // The handler is the service's; nothing it throws may end the dispatcher.
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    reply.status = state.status;
    return reply;
}

void serveConnection(int listener) {
    const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) {
        return;
    }
    timeval timeout{kReplyTimeoutSeconds, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ServiceRequest request{};
    if (recv(connection, &request, sizeof(request), 0) == sizeof(request)) {
        ucred peer{};
        socklen_t peerLength = sizeof(peer);
        ServiceReply reply{};
        if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength) != 0 ||
            (peer.uid != getuid() && peer.uid != 0)) {
            reply.error = ERROR_ACCESS_DENIED;
        } else {
            reply = answer(request);
        }
        send(connection, &reply, sizeof(reply), MSG_NOSIGNAL);
    }
    close(connection);
}

int listenAs(const std::wstring& name, DWORD& error) {
    const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return -1;
    }
    sockaddr_un address;
    const socklen_t length = addressOf(name, address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 16) != 0) {
        error = errno == EADDRINUSE ? ERROR_SERVICE_ALREADY_RUNNING : ERROR_ACCESS_DENIED;
        close(listener);
        return -1;
    }
    return listener;
}

// Serves the socket until the service main function has returned (signalled on done).
void serve(int listener, int done) {
    for (;;) {
        pollfd watched[2] = {{listener, POLLIN, 0}, {done, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if (watched[0].revents != 0) {
            serveConnection(listener);
        }
    }
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
DWORD awaitListening(const std::wstring& name, HANDLE process) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMilliseconds);
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
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
    }
}

// Processes this one started, closed once they have ended so that they are reaped.
void keepStartedProcess(HANDLE process) {
    static std::mutex mutex;
    static std::vector<HANDLE>* started = new std::vector<HANDLE>;
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = started->begin(); it != started->end();) {
        if (WaitForSingleObject(*it, 0) == WAIT_OBJECT_0) {
            CloseHandle(*it);
            it = started->erase(it);
        } else {
            ++it;
        }
    }
    if (process != nullptr) {
        started->push_back(process);
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
    std::wstring imagePath;
    if (!readImagePath(object->name, imagePath)) {
        return fail(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    ServiceReply reply{};
    if (exchange(object->name, QueryRequest, 0, reply) == ERROR_SUCCESS) {
        return fail(ERROR_SERVICE_ALREADY_RUNNING);
    }
    std::wstring environment = serviceEnvironment(object->name);
    PROCESS_INFORMATION information{};
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &imagePath[0], nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT, &environment[0], nullptr,
                        &startup, &information)) {
        return FALSE;
    }
    if (information.hThread != nullptr) {
        CloseHandle(information.hThread);
    }
    const DWORD error = awaitListening(object->name, information.hProcess);
    keepStartedProcess(information.hProcess);
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
    const DWORD error = exchange(object->name, QueryRequest, 0, reply);
    if (error == ERROR_SERVICE_NOT_ACTIVE) {
        *status = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
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
    DWORD error = ERROR_SUCCESS;
    const int listener = listenAs(name, error);
    if (listener < 0) {
        return fail(error);
    }
    const int done = eventfd(0, EFD_CLOEXEC);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.running = true;
        state.name = entry->lpServiceName;
        state.handler = nullptr;
        ++state.statusToken;
        state.status =
            SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
    }
    const LPSERVICE_MAIN_FUNCTIONW serviceMain = entry->lpServiceProc;
    std::wstring argument = state.name;
    std::thread serviceThread([serviceMain, &argument, done] {
        LPWSTR argv[] = {&argument[0], nullptr};
        try {
            serviceMain(1, argv);
        } catch (...) {
            // The service main function is the service's; the dispatcher outlives it.
        }
        const uint64_t one = 1;
        (void)!write(done, &one, sizeof(one));
    });
    serve(listener, done);
    serviceThread.join();
    close(listener);
    close(done);
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
