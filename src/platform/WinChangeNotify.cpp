#include "platform/WinChangeNotify.h"

#include <mutex>

#include "platform/CancellationOff.h"
#include "platform/ChangeNotification.h"
#include "platform/ChangeNotificationHub.h"
#include "platform/NativePath.h"
#include "platform/WinBase.h"

HANDLE FindFirstChangeNotificationW(LPCWSTR pathName, BOOL watchSubtree, DWORD notifyFilter) {
    krel_platform::CancellationOff cancellationOff;
    if (pathName == nullptr ||
        krel_platform::ChangeNotification::eventsForFilter(notifyFilter) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // inotify watches one directory, not its subtree.
    if (watchSubtree) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    auto notification = std::make_shared<krel_platform::ChangeNotification>(
        krel_platform::nativePath(pathName), notifyFilter);
    DWORD error;
    {
        std::lock_guard<std::mutex> guard(krel_platform::kernelStateMutex());
        error = krel_platform::ChangeNotificationHub::instance().attach(*notification);
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return krel_platform::insertHandle(notification);
}

BOOL FindNextChangeNotification(HANDLE changeHandle) {
    krel_platform::CancellationOff cancellationOff;
    auto notification =
        krel_platform::referenceHandleAs<krel_platform::ChangeNotification>(changeHandle);
    if (!notification) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD error;
    {
        std::lock_guard<std::mutex> guard(krel_platform::kernelStateMutex());
        error = notification->rearm();
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE changeHandle) {
    krel_platform::CancellationOff cancellationOff;
    if (!krel_platform::referenceHandleAs<krel_platform::ChangeNotification>(changeHandle) ||
        !krel_platform::removeHandle(changeHandle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace krel_platform {

HANDLE createChangeActivityHandle() {
    CancellationOff cancellationOff;
    auto activity = std::make_shared<ChangeActivity>();
    bool ready;
    {
        std::lock_guard<std::mutex> guard(kernelStateMutex());
        ready = ChangeNotificationHub::instance().descriptor() >= 0;
    }
    if (!ready) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    return insertHandle(activity);
}

} // namespace krel_platform
