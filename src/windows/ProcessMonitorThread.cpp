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
    KREL_INTERNAL_TRACE(L"krel_std_internal::ProcessMonitorThread::~ProcessMonitorThread",
                        L"Attempting to join thread.");
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
            KREL_INTERNAL_DEBUG(RUN, L"Process still active.");
            HANDLE handles[2] = {processHandle, stopEvent};
            WaitForMultipleObjects(stopEvent != nullptr ? 2 : 1, handles, FALSE, INFINITE);
        } else {
            KREL_INTERNAL_DEBUG(RUN, L"Process has already terminated.");
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
