#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "platform/WinTypes.h"
#include "thread/Event.h"

namespace krel_std_internal {

class ProcessMonitorThread;

// The Windows side of krel_std::Process: the process handle, the event signalled when the
// process ends, and the thread that watches for it.
class ProcessPimpl {
public:
    // Starts the program and its monitor; KrelAccessException with the system's error text.
    ProcessPimpl(const std::wstring& executablePath, const std::wstring& commandLine,
                 const std::wstring& workingDirectory);
    // Adopts an open process handle; its monitor is made but never started.
    explicit ProcessPimpl(HANDLE processHandle);
    ProcessPimpl(const ProcessPimpl&) = delete;
    ProcessPimpl& operator=(const ProcessPimpl&) = delete;
    virtual ~ProcessPimpl();

    // Creates or opens the named manual-reset event, sets it and closes it.
    static void signalStop(const std::wstring& eventName);
    // Terminates the process with exit code 0; a failure is only traced.
    void killProcess();
    int getReturnCode();
    bool isRunning();
    static boost::shared_ptr<ProcessPimpl> getProcessByName(const std::wstring& name);

    // The Windows priority class (0 on failure) and its change (false on failure).
    DWORD getPriorityClass();
    bool setPriorityClass(DWORD priorityClass);
    unsigned int getProcessId();
    boost::shared_ptr<krel_std::Event> getTerminationEvent() const { return terminationEvent; }

private:
    void startMonitor(bool start);

    HANDLE processHandle;
    boost::shared_ptr<krel_std::Event> terminationEvent;
    boost::shared_ptr<ProcessMonitorThread> monitorThread;
};

} // namespace krel_std_internal
