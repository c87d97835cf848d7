// The older API's base of an NT service.
#pragma once

#include <atomic>
#include <string>

#include "base/SWString.h"
#include "platform/WinService.h"
#include "platform/WinTypes.h"

namespace KrelStd {

class SLog;

// An NT service that installs and removes itself, reads the standard options -f, -v, -i and -u,
// runs a worker function of the program's own on a thread, and pauses and continues by
// suspending and resuming that thread. Results are 1 for success and 0 for failure; nothing is
// thrown. Messages go through the service message catalogue.
//
// The service control manager calls the static ServiceMain and Handler, which act on _instance:
// the most recently constructed object, cleared when that object is destroyed (they then do
// nothing). ServiceMain runs on a thread of the dispatcher, Handler on the thread that called
// Start(), the worker on its own thread; the worker watches `running`, which the handler sets to
// 0 on a stop or pause. The worker is never joined, and a worker suspended inside a lock that
// the handler needs blocks the handler.
class SNTServiceBase {
public:
    // The worker the program supplies; it is started with a null argument.
    typedef unsigned (*ThreadFunction)(void* argument);

    // Dependencies: the names of the services this one depends on, each ended by a NUL
    // character (a last name without one is ended all the same); empty for none. The object
    // becomes _instance.
    SNTServiceBase(const SWString& serviceName, ThreadFunction threadFunction, int majorVersion,
                   int minorVersion, const std::wstring& dependencies, DWORD serviceType,
                   DWORD controlsAccepted);
    // Copies every member, `running`'s value too; the copy does not become _instance.
    SNTServiceBase(const SNTServiceBase& other);
    SNTServiceBase& operator=(const SNTServiceBase& other);
    // Closes the event source when one is set and clears _instance when it names this object;
    // neither stops the worker nor closes its handles.
    virtual ~SNTServiceBase();

    virtual int OnInit();
    virtual void OnStop();
    virtual void OnInterrogate();
    virtual void OnPause();
    virtual void OnContinue();
    virtual void OnShutdown();
    // Answers 0: the code was not handled.
    virtual int OnUserControl(DWORD code);

    void SetLog(SLog* log);
    int IsForeground() const;

    // Whether the service control manager knows the service.
    int IsInstalled();
    // Enters the service as an automatically started service of its own process, running this
    // program's executable.
    int Install();
    int Uninstall();

    // "SERVICE_STOPPED" ... "SERVICE_PAUSED" for 1 to 7, "Unknown Service State" otherwise.
    static const wchar_t* GetStatusStr(DWORD state);
    // Stores the state and reports the status to the service control manager.
    void SetStatus(DWORD state);

    // Reports START_PENDING, calls OnInit and reports RUNNING, or STOPPED when it answered 0.
    int Initialize();
    // Carries out a standard option given as the first argument: 1 when one was carried out,
    // 0 when the program goes on (to run in the foreground, or to Start()).
    int ParseStandardArgs(int argc, wchar_t* const* argv);
    // Runs the service under the service control dispatcher; answers once the service stopped,
    // or 0 at once when the dispatcher cannot start.
    int Start();

    static void ServiceMain(DWORD argc, wchar_t* const* argv);
    static void Handler(DWORD code);

    static std::atomic<SNTServiceBase*> _instance;

    // 1 while the worker is meant to run, 0 after a stop or pause.
    std::atomic<int> running;

protected:
    SLog* log;
    SWString serviceName;
    int majorVersion;
    int minorVersion;
    SERVICE_STATUS_HANDLE statusHandle;
    SERVICE_STATUS status;
    std::wstring dependencies;
    // Made and closed by ServiceMain; null before and after. Controls read them from another
    // thread.
    std::atomic<HANDLE> workerThread;
    std::atomic<HANDLE> stopEvent;
    ThreadFunction threadFunction;
    HANDLE eventSource;
    int foreground;

private:
    void RunService();
    void HandleControl(DWORD code);
    void StopWorker();
    void SetExitCodes(DWORD exitCode);
};

} // namespace KrelStd
