#include "thread/SmartEvent.h"

#include "platform/WinHandles.h"
#include "platform/WinSync.h"

namespace krel_std {

SmartEvent::SmartEvent(bool manualReset, bool initialState)
    : handle(CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                          nullptr)) {}

SmartEvent::~SmartEvent() {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

HANDLE SmartEvent::getHandle() const {
    return handle;
}

} // namespace krel_std
