#include "file/CWatchdogEvent.h"

#include "platform/WinBase.h"

namespace KrelStd {

CWatchdogEvent::CWatchdogEvent() : CWatchdogEvent(SWString(), 0) {}

CWatchdogEvent::CWatchdogEvent(const SWString& fileName, unsigned long flags)
    : fileName(fileName), flags(static_cast<DWORD>(flags)), time() {
    GetLocalTime(&time);
}

} // namespace KrelStd
