// Process, a program started, found by name or the calling one; ProcessPriority.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Object.h"
#include "file/File.h"
#include "thread/Event.h"

namespace krel_std_internal {
class ProcessPimpl;
} // namespace krel_std_internal

namespace krel_std {

// A program: started by this object, found running by its executable's name, or the calling
// process. It answers its id, name, path, priority and exit code, asks the program to shut
// down through a named event the program holds, and stops it: by that event first, then, when
// maxWaitTime passes, by termination. Destroying a Process leaves the program running. One
// Process is used by one thread at a time.
class Process : public Object {
public:
    enum ProcessPriority {
        REALTIME = 0,
        HIGH = 1,
        ABOVE_NORMAL = 2,
        NORMAL = 3,
        BELOW_NORMAL = 4,
        IDLE = 5
    };

    static const int DEFAULT_MAX_WAIT_TIME;

    // Starts the executable with the arguments (passed on unchanged after its quoted file name)
    // in the working directory (an empty path: the caller's). KrelAccessException with the
    // system's text of the error when it cannot be started.
    Process(const File& executable, const std::wstring& arguments, const File& workingDirectory);
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() override;

    // "Process{path='<canonical path>'}".
    std::wstring toString() const override;

    // The first running process whose executable's file name equals name exactly. Such a
    // process, like the current one, is named "Unknown" and has no monitor: its shutdown event
    // is never signalled, so stop always waits maxWaitTime before terminating it.
    static boost::shared_ptr<Process> getProcessByName(const std::wstring& name);
    static boost::shared_ptr<Process> getCurrentProcess();
    static unsigned int getCurrentProcessId();

    unsigned int getId() const;
    // A negative time is stored as 0.
    void setMaxWaitTime(long milliseconds);
    std::wstring getProcessName() const;
    std::wstring getProcessPath() const;

    ProcessPriority getPriority();
    void setPriority(ProcessPriority priority);

    // Sets the named event (manual reset) that the program is expected to hold; when no process
    // holds it, nothing happens.
    void signalShutdown(const std::wstring& eventName);
    // Signalled when the monitor's wait ends: the started program has ended.
    boost::shared_ptr<Event> getShutdownEvent();
    // Signals the named event, waits up to maxWaitTime for the program to end, and terminates
    // it (exit code 0) when it has not.
    void stop(const std::wstring& eventName);

    bool isRunning();
    // KrelIllegalStateException "Process is still running" while it runs.
    int getExitCode();

private:
    explicit Process(const boost::shared_ptr<krel_std_internal::ProcessPimpl>& pimpl);

    boost::shared_ptr<krel_std_internal::ProcessPimpl> pimpl;
    long maxWaitTime;
    File path;
    unsigned int id;
};

} // namespace krel_std
