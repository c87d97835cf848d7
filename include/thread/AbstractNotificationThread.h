// AbstractNotificationThread, a Thread that repeats its work until told to stop.
#pragma once

#include <atomic>

#include "thread/Event.h"
#include "thread/Lock.h"
#include "thread/Thread.h"

namespace krel_std {

// A Thread whose run (written by a subclass) loops until it is told to stop: it repeats its work
// and sleepForPeriod until isShutdown answers true. shutdown sets the flag before it wakes the
// thread, so a woken thread sees the flag on its next test; a wake-up that comes while the
// thread works is kept by the auto-reset event and ends the next sleep at once.
//
// A subclass stops and joins its thread in its own destructor (its run must not outlive it);
// this destructor does the same for whatever still runs.
class AbstractNotificationThread : public Thread {
public:
    AbstractNotificationThread();
    explicit AbstractNotificationThread(const std::wstring& name);
    AbstractNotificationThread(const boost::shared_ptr<Runnable>& runnable,
                               const std::wstring& name);
    // Shuts down, then joins a running thread unless called on that thread.
    ~AbstractNotificationThread() override;

    // "AbstractNotificationThread{Thread{name='n'},isShutdownFlag=false}".
    std::wstring toString() const override;

    // Clears the shutdown flag, then starts the thread.
    void start();
    // Sets the shutdown flag and wakes the thread.
    virtual void shutdown();
    virtual void wakeup();
    bool isShutdown();

protected:
    // 0 when woken, -1 when the period passed; a negative period sleeps until woken.
    int sleepForPeriod(long ms);

private:
    std::atomic<bool> shutdownFlag;
    Lock lock;
    Event wakeupEvent;
};

} // namespace krel_std
