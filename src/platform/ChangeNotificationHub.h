// The one inotify instance behind every change notification of the process.
#pragma once

#include <map>
#include <vector>

#include "platform/WinTypes.h"

namespace krel_platform {

class ChangeActivity;
class ChangeNotification;

// Owns the inotify descriptor and the watches, each shared by the notifications whose paths
// name the same directory, and hands the events read from the descriptor to the notifications
// they concern. Made on first use and never destroyed; every operation is called with
// kernelStateMutex() held.
class ChangeNotificationHub {
public:
    static ChangeNotificationHub& instance();

    // The inotify descriptor (readable while events are unread), made on first need; -1 when
    // none could be made.
    int descriptor();

    // Watches the notification's directory: ERROR_SUCCESS, or the Windows error.
    DWORD attach(ChangeNotification& notification);
    // Stops the notification's share of its watch; the last share removes the watch.
    void detach(ChangeNotification& notification);
    void addActivity(ChangeActivity& activity);
    void removeActivity(ChangeActivity& activity);

    // Reads every unread event and signals the notifications (and activities) they concern.
    void pump();

private:
    ChangeNotificationHub() = default;
    void dispatch(int watch, uint32_t mask);
    // The directory of the watch is gone: its notifications are lost and the watch forgotten.
    void loseWatch(int watch, bool removeFromKernel);
    void signal(ChangeNotification& notification);

    int inotifyDescriptor = -1;
    std::map<int, std::vector<ChangeNotification*>> watches;
    std::vector<ChangeActivity*> activities;
};

} // namespace krel_platform
