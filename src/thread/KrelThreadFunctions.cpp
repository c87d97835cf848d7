#include "thread/KrelThreadFunctions.h"

#include "platform/WinBase.h"

namespace KrelStd {

unsigned int KrelGetThreadID() {
    return GetCurrentThreadId();
}

bool KrelIsValidThreadID(unsigned int id) {
    return id != 0xFFFFFFFFu;
}

bool KrelSleep_ms(int ms) {
    Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
    return true;
}

} // namespace KrelStd
