#include "platform/ChangeNotification.h"

#include <algorithm>
#include <mutex>
#include <sys/inotify.h>

#include "platform/ChangeNotificationHub.h"
#include "platform/WinChangeNotify.h"

namespace krel_platform {

namespace {

const uint32_t NAME_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
const uint32_t WRITE_EVENTS = IN_MODIFY | IN_CLOSE_WRITE;
const uint32_t KNOWN_FILTER_BITS = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                   FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                   FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_LAST_ACCESS |
                                   FILE_NOTIFY_CHANGE_CREATION | FILE_NOTIFY_CHANGE_SECURITY;

} // namespace

void WaiterList::remove(WaitContext& context) {
    waiters.erase(std::remove(waiters.begin(), waiters.end(), &context), waiters.end());
}

void WaiterList::wakeAll() const {
    for (const WaitContext* waiter : waiters) {
        waiter->wake();
    }
}

ChangeNotification::ChangeNotification(const std::string& path, uint32_t filter)
    : path(path), filter(filter), events(eventsForFilter(filter)), watch(-1), pending(false) {}

ChangeNotification::~ChangeNotification() {
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    ChangeNotificationHub::instance().detach(*this);
}

uint32_t ChangeNotification::eventsForFilter(uint32_t filter) {
    if (filter == 0 || (filter & ~KNOWN_FILTER_BITS) != 0) {
        return 0;
    }
    uint32_t events = 0;
    if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME)) {
        events |= NAME_EVENTS;
    }
    if (filter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_CREATION |
                  FILE_NOTIFY_CHANGE_SECURITY)) {
        events |= IN_ATTRIB;
    }
    if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) {
        events |= WRITE_EVENTS;
    }
    if (filter & FILE_NOTIFY_CHANGE_LAST_ACCESS) {
        events |= IN_ACCESS;
    }
    return events;
}

int ChangeNotification::waitDescriptor() const {
    return ChangeNotificationHub::instance().descriptor();
}

// Reading the shared descriptor here lets any waiting thread move events on, so no thread of
// the stand-in is needed for it.
bool ChangeNotification::isSignaledFor(DWORD) const {
    ChangeNotificationHub::instance().pump();
    return pending;
}

// A name event passes the file-name or the directory-name bit according to the kind of the
// entry named; every other event passes when the filter selects it.
bool ChangeNotification::accepts(uint32_t mask) const {
    if (mask & NAME_EVENTS) {
        uint32_t nameBit =
            (mask & IN_ISDIR) ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME;
        return (filter & nameBit) != 0;
    }
    return (mask & events) != 0;
}

void ChangeNotification::signal() {
    if (!pending) {
        pending = true;
        waiters.wakeAll();
    }
}

void ChangeNotification::markLost() {
    watch = -1;
    signal();
}

DWORD ChangeNotification::rearm() {
    ChangeNotificationHub& hub = ChangeNotificationHub::instance();
    hub.pump();
    pending = false;
    return watch < 0 ? hub.attach(*this) : ERROR_SUCCESS;
}

ChangeActivity::ChangeActivity() : active(false) {
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    ChangeNotificationHub::instance().addActivity(*this);
}

ChangeActivity::~ChangeActivity() {
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    ChangeNotificationHub::instance().removeActivity(*this);
}

int ChangeActivity::waitDescriptor() const {
    return ChangeNotificationHub::instance().descriptor();
}

bool ChangeActivity::isSignaledFor(DWORD) const {
    ChangeNotificationHub::instance().pump();
    return active;
}

void ChangeActivity::signal() {
    if (!active) {
        active = true;
        waiters.wakeAll();
    }
}

} // namespace krel_platform
