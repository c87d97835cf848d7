#include "windows/ProcessPimpl.h"

#include <vector>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelUnknownException.h"
#include "platform/WinProcess.h"
#include "platform/WinSync.h"
#include "windows/ProcessMonitorThread.h"

namespace krel_std_internal {

using krel_std::ErrorUtils;

namespace {

const wchar_t CONSTRUCTOR[] = L"krel_std_internal::ProcessPimpl::ProcessPimpl";
const wchar_t SIGNAL_STOP[] = L"krel_std_internal::ProcessPimpl::signalStop";
const wchar_t KILL_PROCESS[] = L"krel_std_internal::ProcessPimpl::killProcess";
const wchar_t GET_RETURN_CODE[] = L"krel_std_internal::ProcessPimpl::getReturnCode";
const wchar_t GET_PROCESS_BY_NAME[] = L"krel_std_internal::ProcessPimpl::getProcessByName";

// How long the destructor waits for the monitor to end before it closes the process handle.
const long MONITOR_STOP_WAIT_MS = 10000;
const DWORD MAX_MODULE_NAME = 260;

// Every running process id. The array grows while it comes back full, so none is missed.
bool listProcesses(std::vector<DWORD>& ids) {
    ids.assign(1024, 0);
    for (;;) {
        DWORD bytes = 0;
        if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
            return false;
        }
        if (bytes < ids.size() * sizeof(DWORD)) {
            ids.resize(bytes / sizeof(DWORD));
            return true;
        }
        ids.assign(ids.size() * 2, 0);
    }
}

// The base name of the process's main module, or an empty text with the failure remembered.
bool readProcessName(HANDLE process, DWORD id, std::wstring& name,
                     boost::shared_ptr<krel_std::KrelAccessException>& failure) {
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!EnumProcessModules(process, &module, sizeof(module), &needed)) {
        KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Failed to enumerate process modules <%d>",
                           static_cast<int>(id));
        failure.reset(new krel_std::KrelAccessException(L"Failed to enumerate process modules <" +
                                                        std::to_wstring(id) + L">"));
        return false;
    }
    wchar_t buffer[MAX_MODULE_NAME];
    if (GetModuleBaseNameW(process, module, buffer, MAX_MODULE_NAME) == 0) {
        KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Failed to get process name <%d>",
                           static_cast<int>(id));
        failure.reset(new krel_std::KrelAccessException(L"Failed to get process name <" +
                                                        std::to_wstring(id) + L">"));
        return false;
    }
    name = buffer;
    return true;
}

} // namespace

ProcessPimpl::ProcessPimpl(const std::wstring& executablePath, const std::wstring& commandLine,
                           const std::wstring& workingDirectory)
    : processHandle(nullptr) {
    KREL_INTERNAL_CALL(CONSTRUCTOR, L"Creating process <%ls>.", executablePath.c_str());
    KREL_INTERNAL_CALL(CONSTRUCTOR, L"Process arguments <%ls>.", commandLine.c_str());
    KREL_INTERNAL_CALL(CONSTRUCTOR, L"Process working directory <%ls>.", workingDirectory.c_str());
    std::vector<wchar_t> modifiableLine(commandLine.begin(), commandLine.end());
    modifiableLine.push_back(L'\0');
    STARTUPINFOW startupInfo = {};
    startupInfo.cb = 68;
    PROCESS_INFORMATION information = {};
    if (!CreateProcessW(executablePath.c_str(), modifiableLine.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startupInfo,
                        &information)) {
        throw krel_std::KrelAccessException(ErrorUtils::getLastErrorDescription());
    }
    processHandle = information.hProcess;
    CloseHandle(information.hThread);
    startMonitor(true);
}

ProcessPimpl::ProcessPimpl(HANDLE processHandle) : processHandle(processHandle) {
    startMonitor(false);
}

ProcessPimpl::~ProcessPimpl() {
    KREL_TRACE_SCOPE(L"krel_std_internal::ProcessPimpl::~ProcessPimpl");
    monitorThread->stopThread();
    monitorThread->join(MONITOR_STOP_WAIT_MS);
    if (processHandle != GetCurrentProcess()) {
        CloseHandle(processHandle);
    }
    monitorThread.reset();
    terminationEvent.reset();
}

void ProcessPimpl::startMonitor(bool start) {
    terminationEvent.reset(new krel_std::Event(false, false));
    monitorThread.reset(new ProcessMonitorThread(processHandle, terminationEvent));
    if (start) {
        monitorThread->start();
    }
}

void ProcessPimpl::signalStop(const std::wstring& eventName) {
    KREL_TRACE_SCOPE_ARGS(SIGNAL_STOP, L"Begin. Event name <%ls>.", eventName.c_str());
    HANDLE event =
        CreateEventW(nullptr, TRUE, FALSE, eventName.empty() ? nullptr : eventName.c_str());
    if (event == nullptr) {
        KREL_INTERNAL_DEBUG(SIGNAL_STOP, L"Failed to create shutdown event.");
        throw krel_std::KrelUnknownException(L"Failed to create shutdown event");
    }
    SetEvent(event);
    CloseHandle(event);
}

void ProcessPimpl::killProcess() {
    KREL_TRACE_SCOPE(KILL_PROCESS);
    if (!TerminateProcess(processHandle, 0)) {
        KREL_INTERNAL_DEBUG(KILL_PROCESS, L"Failed to terminate process.");
    }
}

int ProcessPimpl::getReturnCode() {
    KREL_TRACE_SCOPE(GET_RETURN_CODE);
    DWORD code = 0;
    if (!GetExitCodeProcess(processHandle, &code)) {
        const int error = ErrorUtils::getLastError();
        throw krel_std::KrelAccessException(
            L"Unable to get process return code. " + ErrorUtils::getErrorDescription(error), error);
    }
    if (code == STILL_ACTIVE) {
        KREL_INTERNAL_CALL(GET_RETURN_CODE, L"Process is still running.");
        throw krel_std::KrelIllegalStateException(L"Process is still running");
    }
    KREL_INTERNAL_CALL(GET_RETURN_CODE, L"Found return code %d.", static_cast<int>(code));
    return static_cast<int>(code);
}

bool ProcessPimpl::isRunning() {
    KREL_TRACE_SCOPE(L"krel_std_internal::ProcessPimpl::isRunning");
    try {
        getReturnCode();
        return false;
    } catch (const krel_std::KrelIllegalStateException&) {
        return true;
    }
}

boost::shared_ptr<ProcessPimpl> ProcessPimpl::getProcessByName(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(GET_PROCESS_BY_NAME, L"Begin. Process name <%ls>.", name.c_str());
    KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Getting list of running processes.");
    std::vector<DWORD> ids;
    if (!listProcesses(ids)) {
        const int error = ErrorUtils::getLastError();
        KREL_INTERNAL_DEBUG(GET_PROCESS_BY_NAME, L"Unable to get process list with error <%d>.",
                            error);
        throw krel_std::KrelAccessException(L"Unable to get list of running processes", error);
    }
    KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Found <%d> running processes.",
                       static_cast<int>(ids.size()));
    boost::shared_ptr<krel_std::KrelAccessException> failure;
    bool anyNameRead = false;
    for (DWORD id : ids) {
        KREL_INTERNAL_TRACE(GET_PROCESS_BY_NAME, L"Looking up name of process <%d>.",
                            static_cast<int>(id));
        if (id == 0) {
            continue;
        }
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
        if (process == nullptr) {
            KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Failed to open process <%d>",
                               static_cast<int>(id));
            failure.reset(new krel_std::KrelAccessException(L"Failed to open process <" +
                                                            std::to_wstring(id) + L">"));
            continue;
        }
        std::wstring processName;
        if (!readProcessName(process, id, processName, failure)) {
            CloseHandle(process);
            continue;
        }
        anyNameRead = true;
        if (processName == name) {
            KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Found process <%ls>", processName.c_str());
            return boost::shared_ptr<ProcessPimpl>(new ProcessPimpl(process));
        }
        CloseHandle(process);
    }
    KREL_INTERNAL_CALL(GET_PROCESS_BY_NAME, L"Did not find process running <%ls>.", name.c_str());
    if (!anyNameRead && failure) {
        throw *failure;
    }
    throw krel_std::KrelIllegalArgumentException(L"Unable to retrieve process <" + name + L">");
}

DWORD ProcessPimpl::getPriorityClass() {
    return GetPriorityClass(processHandle);
}

bool ProcessPimpl::setPriorityClass(DWORD priorityClass) {
    return SetPriorityClass(processHandle, priorityClass) != FALSE;
}

unsigned int ProcessPimpl::getProcessId() {
    return GetProcessId(processHandle);
}

} // namespace krel_std_internal
