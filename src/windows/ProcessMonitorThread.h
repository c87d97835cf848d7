#pragma once

#include <boost/shared_ptr.hpp>

#include "platform/WinTypes.h"
#include "thread/Event.h"
#include "thread/Thread.h"

namespace krel_std_internal {

// Waits for a process to end, or for stopThread, and then signals the termination event it
// shares with the process's pimpl.
class ProcessMonitorThread : public krel_std::Thread {
public:
    // The process handle stays the caller's; the stop event is made here.
    ProcessMonitorThread(HANDLE processHandle,
                         const boost::shared_ptr<krel_std::Event>& terminationEvent);
    // Stops and joins the thread, then closes the stop event.
    ~ProcessMonitorThread() override;

    void run() override;
    // Ends the wait. The stop event stays open until the destructor has joined the thread, so
    // that the thread never waits on a closed, perhaps reused, handle.
    void stopThread();

private:
    HANDLE processHandle;
    HANDLE stopEvent;
    boost::shared_ptr<krel_std::Event> terminationEvent;
};

} // namespace krel_std_internal
