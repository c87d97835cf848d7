// The wait engine of the kernel-object stand-in.
#pragma once

#include <memory>
#include <vector>

#include "platform/WinHandles.h"

namespace krel_platform {

// One wait of the calling thread on a list of objects, for any or for all of them. Between
// tests of the objects' states the thread sleeps in poll() on the objects' descriptors and its
// wake descriptor, so a wait neither spins nor misses a change. The waiter is registered on its
// objects from construction to destruction (also when a cancelled thread unwinds).
class HandleWait {
public:
    HandleWait(const std::vector<std::shared_ptr<KernelObject>>& objects, bool waitAll);
    HandleWait(const HandleWait&) = delete;
    HandleWait& operator=(const HandleWait&) = delete;
    ~HandleWait();

    // WAIT_OBJECT_0 + the lowest index that ended a wait for any, WAIT_OBJECT_0 for a wait for
    // all, or WAIT_TIMEOUT when the time-out in milliseconds passed first (INFINITE: never).
    // WAIT_ABANDONED_0 + the index of an abandoned mutex when the wait took one.
    // Called with cancellation off (CancellationOff); the caller's own cancellation state,
    // which holds during the sleeps, is passed in.
    DWORD wait(DWORD milliseconds, int cancelState);

private:
    // Called with the state mutex held: the decided index, or -1 with the descriptors to watch.
    int decide(std::vector<int>& descriptors);
    int decideAny(std::vector<int>& descriptors);
    int decideAll(std::vector<int>& descriptors);
    bool isSatisfied(const KernelObject& object) const;
    // Sleeps until a descriptor is readable, a signal arrives or the time-out passes; the
    // caller's cancellation state holds during the sleep.
    static void sleep(const std::vector<int>& descriptors, int timeout, int cancelState);

    std::vector<std::shared_ptr<KernelObject>> objects;
    bool waitAll;
    // Whether the decided wait took an abandoned mutex.
    bool abandoned;
    WaitContext context;
};

} // namespace krel_platform
