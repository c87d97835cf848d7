// The change-notification kinds of the kernel-object stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinHandles.h"

namespace krel_platform {

// The waiters of one object, woken when another thread finds the object signalled for them.
class WaiterList {
public:
    void add(WaitContext& context) { waiters.push_back(&context); }
    void remove(WaitContext& context);
    void wakeAll() const;

private:
    std::vector<WaitContext*> waiters;
};

// One watched directory. Signalled while changes are pending; the shared inotify instance
// (ChangeNotificationHub) is read by whichever thread tests a notification, and wakes the
// waiters of every notification it signals. Every operation but the constructor and destructor
// is called with kernelStateMutex() held.
class ChangeNotification : public KernelObject {
public:
    // filter: the Windows filter bits, already checked with eventsForFilter.
    ChangeNotification(const std::string& path, uint32_t filter);
    // Stops watching (the watch itself ends with the last notification sharing it).
    ~ChangeNotification() override;

    // The inotify events a Windows filter selects; 0 for a filter that is 0 or has unknown bits.
    static uint32_t eventsForFilter(uint32_t filter);

    int waitDescriptor() const override;
    bool isSignaledFor(DWORD threadId) const override;
    void addWaiter(WaitContext& context) override { waiters.add(context); }
    void removeWaiter(WaitContext& context) override { waiters.remove(context); }

    const std::string& getPath() const { return path; }
    uint32_t getEvents() const { return events; }
    // The watch descriptor, or -1 while lost.
    int getWatch() const { return watch; }
    void setWatch(int descriptor) { watch = descriptor; }

    // Whether an event of the watched directory (an inotify mask) passes the filter.
    bool accepts(uint32_t mask) const;
    // Becomes signalled and wakes its waiters.
    void signal();
    // The directory went away: signalled once, and watched again only by rearm.
    void markLost();
    // Drains the pending changes and watches a lost directory again: ERROR_SUCCESS or the
    // error of the new watch.
    DWORD rearm();

private:
    std::string path;
    uint32_t filter;
    uint32_t events;
    int watch;
    bool pending;
    WaiterList waiters;
};

// The handle that tells one thread that some notification was signalled: an auto-reset flag
// that the hub sets. Operations other than the constructor and destructor are called with
// kernelStateMutex() held.
class ChangeActivity : public KernelObject {
public:
    ChangeActivity();
    ~ChangeActivity() override;

    int waitDescriptor() const override;
    bool isSignaledFor(DWORD threadId) const override;
    void acquire(DWORD) override { active = false; }
    void addWaiter(WaitContext& context) override { waiters.add(context); }
    void removeWaiter(WaitContext& context) override { waiters.remove(context); }

    void signal();

private:
    bool active;
    WaiterList waiters;
};

} // namespace krel_platform
