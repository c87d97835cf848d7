#include "windows/ProcessMonitorThread.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "platform/WinProcess.h"
#include "platform/WinSync.h"

namespace krel_std_internal {

namespace {
const wchar_t RUN[] = L"krel_std_internal::ProcessMonitorThread::run";
} // namespace

ProcessMonitorThread::ProcessMonitorThread(
    HANDLE processHandle, const boost::shared_ptr<krel_std::Event>& terminationEvent)
    : Thread(L""), processHandle(processHandle),
      stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)), terminationEvent(terminationEvent) {}

ProcessMonitorThread::~ProcessMonitorThread() {
    stopThread();
    if (krel_std::__internal_trace_on()) {
        krel_std::__internal_trace(
            L"krel_std_internal::ProcessMonitorThread::~ProcessMonitorThread", KREL_SOURCE_FILE,
            __LINE__, L"Attempting to join thread.");
    }
    join(-1);
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
}

void ProcessMonitorThread::run() {
    DWORD code = 0;
    if (GetExitCodeProcess(processHandle, &code)) {
        if (code == STILL_ACTIVE) {
            if (krel_std::__internal_debug_on()) {
                krel_std::__internal_debug(RUN, KREL_SOURCE_FILE, __LINE__,
                                           L"Process still active.");
            }
            HANDLE handles[2] = {processHandle, stopEvent};
            WaitForMultipleObjects(stopEvent != nullptr ? 2 : 1, handles, FALSE, INFINITE);
        } else if (krel_std::__internal_debug_on()) {
            krel_std::__internal_debug(RUN, KREL_SOURCE_FILE, __LINE__,
                                       L"Process has already terminated.");
        }
    }
    terminationEvent->signal();
}

void ProcessMonitorThread::stopThread() {
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
}

} // namespace krel_std_internal
