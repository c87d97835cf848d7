#include "platform/ChangeNotificationHub.h"

#include <algorithm>
#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ChangeNotification.h"
#include "platform/NativePath.h"
#include "platform/WinError.h"

namespace krel_platform {

namespace {

// Events that end a watch: its directory was deleted, moved, or its file system unmounted.
const uint32_t LOSS_EVENTS = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

// The Windows error for a watch that inotify refused.
DWORD watchError(int error, const std::string& path) {
    struct stat status;
    switch (error) {
    case ENOTDIR:
        return stat(path.c_str(), &status) == 0 ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
    case ENOSPC:
        // The per-user limit of watches.
        return ERROR_TOO_MANY_OPEN_FILES;
    default:
        return fileErrorFromErrno(error);
    }
}

} // namespace

ChangeNotificationHub& ChangeNotificationHub::instance() {
    static ChangeNotificationHub& hub = *new ChangeNotificationHub;
    return hub;
}

int ChangeNotificationHub::descriptor() {
    if (inotifyDescriptor < 0) {
        inotifyDescriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    return inotifyDescriptor;
}

DWORD ChangeNotificationHub::attach(ChangeNotification& notification) {
    if (descriptor() < 0) {
        return fileErrorFromErrno(errno);
    }
    // Adding to the events keeps what other notifications of the same directory asked for.
    int watch = inotify_add_watch(inotifyDescriptor, notification.getPath().c_str(),
                                  notification.getEvents() | IN_DELETE_SELF | IN_MOVE_SELF |
                                      IN_ONLYDIR | IN_MASK_ADD);
    if (watch < 0) {
        return watchError(errno, notification.getPath());
    }
    notification.setWatch(watch);
    watches[watch].push_back(&notification);
    return ERROR_SUCCESS;
}

void ChangeNotificationHub::detach(ChangeNotification& notification) {
    auto entry = watches.find(notification.getWatch());
    if (entry == watches.end()) {
        return;
    }
    std::vector<ChangeNotification*>& owners = entry->second;
    owners.erase(std::remove(owners.begin(), owners.end(), &notification), owners.end());
    if (owners.empty()) {
        inotify_rm_watch(inotifyDescriptor, entry->first);
        watches.erase(entry);
    }
    notification.setWatch(-1);
}

void ChangeNotificationHub::addActivity(ChangeActivity& activity) {
    activities.push_back(&activity);
}

void ChangeNotificationHub::removeActivity(ChangeActivity& activity) {
    activities.erase(std::remove(activities.begin(), activities.end(), &activity),
                     activities.end());
}

void ChangeNotificationHub::pump() {
    if (inotifyDescriptor < 0) {
        return;
    }
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        ssize_t length = read(inotifyDescriptor, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        for (ssize_t offset = 0; offset < length;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            dispatch(event->wd, event->mask);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void ChangeNotificationHub::dispatch(int watch, uint32_t mask) {
    if (mask & IN_Q_OVERFLOW) {
        // Events were dropped: every directory may have changed.
        for (auto& entry : watches) {
            for (ChangeNotification* notification : entry.second) {
                signal(*notification);
            }
        }
        return;
    }
    if (mask & LOSS_EVENTS) {
        loseWatch(watch, (mask & IN_IGNORED) == 0);
        return;
    }
    auto entry = watches.find(watch);
    if (entry == watches.end()) {
        return;
    }
    for (ChangeNotification* notification : entry->second) {
        if (notification->accepts(mask)) {
            signal(*notification);
        }
    }
}

void ChangeNotificationHub::loseWatch(int watch, bool removeFromKernel) {
    auto entry = watches.find(watch);
    if (entry == watches.end()) {
        return;
    }
    std::vector<ChangeNotification*> owners;
    owners.swap(entry->second);
    watches.erase(entry);
    if (removeFromKernel) {
        inotify_rm_watch(inotifyDescriptor, watch);
    }
    for (ChangeNotification* notification : owners) {
        notification->markLost();
    }
    for (ChangeActivity* activity : activities) {
        activity->signal();
    }
}

void ChangeNotificationHub::signal(ChangeNotification& notification) {
    notification.signal();
    for (ChangeActivity* activity : activities) {
        activity->signal();
    }
}

} // namespace krel_platform
