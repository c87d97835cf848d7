#include "windows/FindHandle.h"

#include "platform/WinCrtFile.h"

namespace krel_std_internal {

FindHandle::FindHandle(intptr_t handle) : handle(handle) {}

FindHandle::~FindHandle() {
    if (isValid()) {
        _findclose(handle);
    }
}

} // namespace krel_std_internal
