#include "service/SNTServiceBase.h"

#include <mutex>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "log/SLog.h"
#include "platform/WinBase.h"
#include "platform/WinEventLog.h"
#include "platform/WinLibrary.h"
#include "platform/WinSync.h"
#include "platform/WinThread.h"
#include "service/NTServiceLogger.h"
#include "windows/ServiceStateTexts.h"

namespace KrelStd {

namespace {

const wchar_t PARSE_ARGS[] = L"KrelStd::SNTServiceBase::ParseStandardArgs";
const wchar_t HANDLER[] = L"KrelStd::SNTServiceBase::Handler";
const wchar_t SERVICE_MAIN[] = L"KrelStd::SNTServiceBase::ServiceMain";
const wchar_t INITIALIZE[] = L"KrelStd::SNTServiceBase::Initialize";
const wchar_t UNINSTALL[] = L"KrelStd::SNTServiceBase::Uninstall";

const DWORD SERVICE_ACCESS_QUERY = 0x0001;
const DWORD SERVICE_ACCESS_CREATE = 0x0005;
const DWORD SERVICE_ACCESS_DELETE = 0x10000;
const DWORD SERVICE_TYPE_INTERACTIVE_OWN_PROCESS = 0x110;
const size_t MODULE_PATH_LENGTH = 4096;

// The hooks, the destructor and the service steps trace their short name in their own context.
void traceName(const wchar_t* function, const wchar_t* shortName) {
    KREL_INTERNAL_TRACE(function, L"%ls", shortName);
}

const krel_std::NTServiceLogger& messages() {
    return krel_std::NTServiceLogger::getInstance();
}

// The status is written by the control handler and by the service main function.
std::mutex& statusMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

// Closes the service control manager handles it holds, keeping the last error of the call
// that failed for the caller's message.
class ServiceHandles {
public:
    ServiceHandles() : manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
    ~ServiceHandles() {
        const DWORD lastError = GetLastError();
        if (service != nullptr) {
            CloseServiceHandle(service);
        }
        if (manager != nullptr) {
            CloseServiceHandle(manager);
        }
        SetLastError(lastError);
    }
    ServiceHandles(const ServiceHandles&) = delete;
    ServiceHandles& operator=(const ServiceHandles&) = delete;

    SC_HANDLE manager;
    SC_HANDLE service = nullptr;
};

bool isOption(const wchar_t* argument, const wchar_t* option) {
    SWString folded(argument != nullptr ? argument : L"");
    folded.ToLower();
    return folded.compare(option) == 0;
}

} // namespace

std::atomic<SNTServiceBase*> SNTServiceBase::_instance{nullptr};

SNTServiceBase::SNTServiceBase(const SWString& serviceName, ThreadFunction threadFunction,
                               int majorVersion, int minorVersion, const std::wstring& dependencies,
                               DWORD serviceType, DWORD controlsAccepted)
    : running(0), log(SLog::GetDefaultLog()), serviceName(serviceName), majorVersion(majorVersion),
      minorVersion(minorVersion),
      statusHandle(nullptr), status{serviceType, SERVICE_STOPPED, controlsAccepted, 0, 0, 0, 0},
      dependencies(dependencies), workerThread(nullptr), stopEvent(nullptr),
      threadFunction(threadFunction), eventSource(nullptr), foreground(0) {
    _instance.store(this);
}

SNTServiceBase::SNTServiceBase(const SNTServiceBase& other)
    : running(other.running.load()), log(other.log), serviceName(other.serviceName),
      majorVersion(other.majorVersion), minorVersion(other.minorVersion),
      statusHandle(other.statusHandle), status(other.status), dependencies(other.dependencies),
      workerThread(other.workerThread.load()), stopEvent(other.stopEvent.load()),
      threadFunction(other.threadFunction), eventSource(other.eventSource),
      foreground(other.foreground) {}

SNTServiceBase& SNTServiceBase::operator=(const SNTServiceBase& other) {
    running.store(other.running.load());
    log = other.log;
    serviceName = other.serviceName;
    majorVersion = other.majorVersion;
    minorVersion = other.minorVersion;
    statusHandle = other.statusHandle;
    status = other.status;
    dependencies = other.dependencies;
    workerThread.store(other.workerThread.load());
    stopEvent.store(other.stopEvent.load());
    threadFunction = other.threadFunction;
    eventSource = other.eventSource;
    foreground = other.foreground;
    return *this;
}

// A late control or service start must not reach a destroyed object.
SNTServiceBase::~SNTServiceBase() {
    traceName(L"KrelStd::SNTServiceBase::~SNTServiceBase", L"SNTServiceBase::~SNTServiceBase");
    SNTServiceBase* self = this;
    _instance.compare_exchange_strong(self, nullptr);
    if (eventSource != nullptr) {
        DeregisterEventSource(eventSource);
    }
}

int SNTServiceBase::OnInit() {
    traceName(L"KrelStd::SNTServiceBase::OnInit", L"SNTServiceBase::OnInit");
    return 1;
}

void SNTServiceBase::OnStop() {
    traceName(L"KrelStd::SNTServiceBase::OnStop", L"SNTServiceBase::OnStop");
}

void SNTServiceBase::OnInterrogate() {
    traceName(L"KrelStd::SNTServiceBase::OnInterrogate", L"SNTServiceBase::OnInterrogate");
}

void SNTServiceBase::OnPause() {
    traceName(L"KrelStd::SNTServiceBase::OnPause", L"SNTServiceBase::OnPause");
}

void SNTServiceBase::OnContinue() {
    traceName(L"KrelStd::SNTServiceBase::OnContinue", L"SNTServiceBase::OnContinue");
}

void SNTServiceBase::OnShutdown() {
    traceName(L"KrelStd::SNTServiceBase::OnShutdown", L"SNTServiceBase::OnShutdown");
}

int SNTServiceBase::OnUserControl(DWORD code) {
    KREL_INTERNAL_TRACE(L"KrelStd::SNTServiceBase::OnUserControl", L"Begin (%8.8lXH)",
                        static_cast<unsigned long>(code));
    return 0;
}

void SNTServiceBase::SetLog(SLog* newLog) {
    log = newLog;
}

int SNTServiceBase::IsForeground() const {
    return foreground;
}

int SNTServiceBase::IsInstalled() {
    ServiceHandles handles;
    if (handles.manager == nullptr) {
        return 0;
    }
    handles.service = OpenServiceW(handles.manager, serviceName.c_str(), SERVICE_ACCESS_QUERY);
    return handles.service != nullptr ? 1 : 0;
}

int SNTServiceBase::Install() {
    ServiceHandles handles;
    if (handles.manager == nullptr) {
        return 0;
    }
    // The list ends with an empty name: the string's terminator after the last one's NUL.
    std::wstring dependencyList = dependencies;
    if (!dependencyList.empty() && dependencyList.back() != L'\0') {
        dependencyList += L'\0';
    }
    wchar_t path[MODULE_PATH_LENGTH];
    if (GetModuleFileNameW(nullptr, path, MODULE_PATH_LENGTH) == 0) {
        return 0;
    }
    handles.service = CreateServiceW(handles.manager, serviceName.c_str(), serviceName.c_str(),
                                     SERVICE_ACCESS_CREATE, SERVICE_TYPE_INTERACTIVE_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, path, nullptr,
                                     nullptr, dependencyList.c_str(), nullptr, nullptr);
    return handles.service != nullptr ? 1 : 0;
}

int SNTServiceBase::Uninstall() {
    ServiceHandles handles;
    if (handles.manager == nullptr) {
        return 0;
    }
    handles.service = OpenServiceW(handles.manager, serviceName.c_str(), SERVICE_ACCESS_DELETE);
    if (handles.service == nullptr) {
        return 0;
    }
    if (DeleteService(handles.service)) {
        messages().SL4022(UNINSTALL);
        return 1;
    }
    messages().SL4023(UNINSTALL);
    return 0;
}

const wchar_t* SNTServiceBase::GetStatusStr(DWORD state) {
    return krel_std_internal::serviceStateText(state);
}

void SNTServiceBase::SetStatus(DWORD state) {
    KREL_INTERNAL_TRACE(L"KrelStd::SNTServiceBase::SetStatus", L"Status(%lu, %lu - %ls)",
                        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(statusHandle)),
                        static_cast<unsigned long>(state), GetStatusStr(state));
    std::lock_guard<std::mutex> lock(statusMutex());
    status.dwCurrentState = state;
    SetServiceStatus(statusHandle, &status);
}

void SNTServiceBase::SetExitCodes(DWORD exitCode) {
    std::lock_guard<std::mutex> lock(statusMutex());
    status.dwWin32ExitCode = exitCode;
    status.dwCheckPoint = 0;
    status.dwWaitHint = 0;
}

int SNTServiceBase::Initialize() {
    traceName(INITIALIZE, L"SNTServiceBase::Initialize");
    SetStatus(SERVICE_START_PENDING);
    const int initialized = OnInit();
    SetExitCodes(GetLastError());
    if (initialized == 0) {
        messages().SL1010(INITIALIZE);
        SetStatus(SERVICE_STOPPED);
        return 0;
    }
    messages().SL4024(INITIALIZE);
    SetStatus(SERVICE_RUNNING);
    return 1;
}

int SNTServiceBase::ParseStandardArgs(int argc, wchar_t* const* argv) {
    if (argc < 2 || argv == nullptr) {
        return 0;
    }
    const wchar_t* const option = argv[1];
    if (isOption(option, L"-f")) {
        foreground = 1;
        return 0;
    }
    if (isOption(option, L"-v")) {
        messages().SL4016(PARSE_ARGS, serviceName.c_str(), majorVersion, minorVersion);
        messages().SL4017(PARSE_ARGS, IsInstalled() ? L"currently" : L"not");
        return 1;
    }
    if (isOption(option, L"-i")) {
        if (IsInstalled()) {
            messages().SL4018(PARSE_ARGS, serviceName.c_str());
        } else if (Install()) {
            messages().SL4019(PARSE_ARGS, serviceName.c_str());
        } else {
            messages().SL1006(PARSE_ARGS, serviceName.c_str(), static_cast<int>(GetLastError()));
        }
        return 1;
    }
    if (isOption(option, L"-u")) {
        if (!IsInstalled()) {
            messages().SL4020(PARSE_ARGS, serviceName.c_str());
        } else if (Uninstall()) {
            messages().SL4021(PARSE_ARGS, serviceName.c_str());
        } else {
            messages().SL1007(PARSE_ARGS, serviceName.c_str(), static_cast<int>(GetLastError()));
        }
        return 1;
    }
    messages().SL1008(PARSE_ARGS);
    return 0;
}

int SNTServiceBase::Start() {
    const wchar_t* const context = L"KrelStd::SNTServiceBase::Start";
    SERVICE_TABLE_ENTRYW table[] = {
        {&serviceName[0], [](DWORD argc, LPWSTR* argv) { ServiceMain(argc, argv); }},
        {nullptr, nullptr}};
    traceName(context, L"SNTServiceBase::StartService");
    const BOOL result = StartServiceCtrlDispatcherW(table);
    traceName(context, L"SNTServiceBase::StartService");
    return result;
}

void SNTServiceBase::ServiceMain(DWORD, wchar_t* const*) {
    SNTServiceBase* service = _instance.load();
    if (service == nullptr) {
        return;
    }
    traceName(SERVICE_MAIN, L"SNTServiceBase::ServiceMain");
    service->RunService();
}

void SNTServiceBase::RunService() {
    {
        std::lock_guard<std::mutex> lock(statusMutex());
        status.dwCurrentState = SERVICE_START_PENDING;
    }
    statusHandle = RegisterServiceCtrlHandlerW(serviceName.c_str(), &SNTServiceBase::Handler);
    if (statusHandle == nullptr) {
        messages().SL1009(SERVICE_MAIN);
        return;
    }
    if (Initialize()) {
        running.store(1);
        SetExitCodes(0);
        const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (event == nullptr) {
            return;
        }
        stopEvent.store(event);
        SetStatus(SERVICE_START_PENDING);
        const HANDLE worker = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, threadFunction, nullptr, 0, nullptr));
        if (worker == nullptr) {
            CloseHandle(stopEvent.exchange(nullptr));
            return;
        }
        workerThread.store(worker);
        SetStatus(SERVICE_RUNNING);
        WaitForSingleObject(event, INFINITE);
        CloseHandle(workerThread.exchange(nullptr));
        CloseHandle(stopEvent.exchange(nullptr));
    }
    SetStatus(SERVICE_STOPPED);
}

void SNTServiceBase::Handler(DWORD code) {
    SNTServiceBase* service = _instance.load();
    if (service == nullptr) {
        return;
    }
    traceName(HANDLER, L"SNTServiceBase::Handler");
    service->HandleControl(code);
    DWORD state;
    {
        std::lock_guard<std::mutex> lock(statusMutex());
        state = service->status.dwCurrentState;
    }
    KREL_INTERNAL_TRACE(
        HANDLER, L"End with Updated status (%lu, %lu)",
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(service->statusHandle)),
        static_cast<unsigned long>(state));
}

void SNTServiceBase::StopWorker() {
    SetStatus(SERVICE_STOP_PENDING);
    // The service main function waits for the stop event: it is set, and STOPPED reported,
    // also when the program's OnStop throws, so a failing hook cannot leave the service
    // stopping forever. The exception itself goes on to the caller.
    struct StopCompletion {
        SNTServiceBase& service;
        ~StopCompletion() {
            service.running.store(0);
            SetEvent(service.stopEvent.load());
            service.SetStatus(SERVICE_STOPPED);
        }
    } completion{*this};
    OnStop();
}

void SNTServiceBase::HandleControl(DWORD code) {
    switch (code) {
    case SERVICE_CONTROL_STOP:
        messages().SL4025(HANDLER);
        StopWorker();
        messages().SL4026(HANDLER);
        break;
    case SERVICE_CONTROL_PAUSE:
        messages().SL4027(HANDLER);
        SetStatus(SERVICE_PAUSE_PENDING);
        running.store(0);
        OnPause();
        SuspendThread(workerThread.load());
        SetStatus(SERVICE_PAUSED);
        messages().SL4028(HANDLER);
        break;
    case SERVICE_CONTROL_CONTINUE:
        messages().SL4029(HANDLER);
        SetStatus(SERVICE_CONTINUE_PENDING);
        running.store(1);
        OnContinue();
        ResumeThread(workerThread.load());
        SetStatus(SERVICE_RUNNING);
        break;
    case SERVICE_CONTROL_INTERROGATE:
        OnInterrogate();
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        messages().SL4031(HANDLER);
        StopWorker();
        messages().SL4032(HANDLER);
        OnShutdown();
        break;
    default:
        messages().SL4033(HANDLER);
        if (code < 128 || OnUserControl(code) == 0) {
            messages().SL2001(HANDLER);
        }
        break;
    }
}

} // namespace KrelStd
