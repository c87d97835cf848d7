// Concurrency, the waits on one, any or all of several Waitables.
#pragma once

#include <boost/shared_ptr.hpp>
#include <vector>

namespace krel_std {

class Subscription;
class TimeSpec;
class Waitable;

// Waits on one Waitable, on any of several or on all of several. Time-outs are milliseconds;
// a negative time-out waits without end. Results: for a wait on any, the index of the object
// that ended the wait (the lowest signalled one); for a wait on all, 0; on time-out, -1.
// An object destroyed during the wait raises KrelWaitObjectDestroyedException.
// Auto-reset signals that a wait consumed but does not report are handed back to their objects.
class Concurrency {
public:
    enum WaitType { WAIT_FOR_ANY = 0, WAIT_FOR_ALL = 1 };

    static int waitForSingleObject(Waitable& object, long ms);
    static int waitForMultipleObjects(const std::vector<Waitable*>& objects, WaitType type,
                                      long ms);

private:
    typedef std::vector<boost::shared_ptr<Subscription>> Subscriptions;
    class WaitSubscriptions;

    Concurrency();
    ~Concurrency();

    static int waitForAny(const std::vector<Waitable*>& objects, long ms);
    static int waitForAll(const std::vector<Waitable*>& objects, long ms);
    // Answers the index of the first object in the list that is signalled, taking an auto-reset
    // object's signal, or -1 when none is; a destroyed object met first raises.
    static int takeFirstSignal(const std::vector<Waitable*>& objects);
    static TimeSpec getWaitTime(long ms);
    static int getWaitResult(const Subscriptions& subscriptions);
    static bool allSignaled(const Subscriptions& subscriptions);
};

} // namespace krel_std
