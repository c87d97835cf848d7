// Thread, a named thread that runs a Runnable and can be waited on.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>

#include "thread/Runnable.h"
#include "thread/Waitable.h"

namespace krel_std_internal {
class ThreadPimpl;
} // namespace krel_std_internal

namespace krel_std {

// A named thread that runs a Runnable (or its own run) on a detached POSIX thread. It is a
// manual-reset Waitable that is signalled while no run is in progress, so joins are waits on
// it. Everything the work throws is caught and logged (STD3008); machine faults in the work
// become library exceptions. Cancellation is deferred: a cancelled run unwinds at its next
// cancellation point and releases what its scoped guards hold.
class Thread : public Runnable, public Waitable {
public:
    enum ThreadState { NOT_STARTED = 0, RUNNING = 1, ENDED = 2 };
    enum ThreadPriority { LOWEST = 0, NORMAL = 1, HIGHEST = 2 };

    // Runs its own run(); does not join on destruction.
    Thread();
    explicit Thread(const std::wstring& name);
    // Runs the runnable's run(); joins on destruction.
    Thread(const boost::shared_ptr<Runnable>& runnable, const std::wstring& name);
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Waits for a running thread when it joins on destruction (unless called from that
    // thread's own run); the implementation lives on while the thread still runs.
    ~Thread() override;

    // "Thread{name='<name>'}".
    std::wstring toString() const override;

    // Runs the constructor's Runnable, if there is one.
    void run() override;

    // Throws KrelIllegalStateException "The current thread is already running!" and the
    // mapped failures of the thread creation. Returns once the new thread has set up its run;
    // a new thread that cannot (memory is short) makes it throw KrelOutOfResourcesException
    // "Out of resources to create thread.", and the thread stays as it was, not running.
    void start();
    // Throws KrelIllegalStateException "The current thread is not running!". Releases the
    // joiners at once; the thread itself ends at its next cancellation point.
    void cancel();
    // True when no run was in progress within ms milliseconds (negative: without end).
    bool join(long ms);
    // 0 once the new thread has started, -1 on time-out.
    int waitForStart(long ms);
    ThreadState getState();
    // The running thread's numeric id; 0xFFFFFFFF when the thread is not running.
    uint64_t getId() const;
    // Under the default scheduling policy, which has no range of priorities, the priority set
    // last (NORMAL after start) is remembered and answered.
    ThreadPriority getPriority();
    void setPriority(ThreadPriority priority);
    std::wstring getName() const;
    void setName(const std::wstring& name);
    bool isJoinOnDestruct();
    void setJoinOnDestruct(bool joinOnDestruct);

    // Sleeps the calling thread; a negative time sleeps 0 ms.
    static void sleep(long ms);
    // The operating system's numeric id of the calling thread (cached per thread).
    static uint64_t getCurrentThreadId();

private:
    friend class krel_std_internal::ThreadPimpl;

    boost::shared_ptr<krel_std_internal::ThreadPimpl> pimpl;
    bool joinOnDestruct;
    std::wstring name;
};

// Empties the map of the ids of threads started through Thread.
void clearThreadIdMap();

} // namespace krel_std
