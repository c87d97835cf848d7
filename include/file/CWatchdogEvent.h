// The older API's record of one change that a CFileWatchdog queued.
#pragma once

#include "base/SWString.h"
#include "platform/WinTypes.h"

namespace KrelStd {

// One change that a CFileWatchdog queued: the file's name, the one event flag of the change
// and the local time at which it was seen.
class CWatchdogEvent {
public:
    // Empty name, flags 0, made now.
    CWatchdogEvent();
    CWatchdogEvent(const SWString& fileName, unsigned long flags);

    const SWString& GetFileName() const { return fileName; }
    unsigned long GetFlags() const { return flags; }
    const SYSTEMTIME& GetTime() const { return time; }

private:
    SWString fileName;
    DWORD flags;
    SYSTEMTIME time;
};

} // namespace KrelStd
