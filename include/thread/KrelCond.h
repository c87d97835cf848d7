// The older API's condition over a Windows event.
#pragma once

#include "platform/WinTypes.h"
#include "thread/KrelMutex.h"

namespace KrelStd {

// A condition over a manual-reset Windows event, without time-outs and without exceptions.
// Signal pulses the event: it releases the threads waiting at that moment. A thread that has
// entered Wait counts as waiting from the moment it holds the condition's own mutex, so a
// Signal that follows the release of the caller's mutex always reaches it. Empty until
// Create; every operation on an empty wrapper does nothing. Copies share the handles.
class KrelCond {
public:
    KrelCond();
    ~KrelCond();

    void Create();
    void Destroy();
    // Releases m (if it has a handle), waits for a Signal, then takes m again.
    void Wait(KrelMutex& m);
    void Signal();

private:
    HANDLE m_hEvent;
    HANDLE m_hLock;
};

} // namespace KrelStd
