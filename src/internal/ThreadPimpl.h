#pragma once

#include <boost/shared_ptr.hpp>
#include <pthread.h>
#include <string>

#include "thread/Event.h"
#include "thread/Thread.h"

namespace krel_std_internal {

// The POSIX side of Thread: the thread handle, state and priority, and the thread's entry
// function. The implementation outlives its Thread while the thread runs (the running thread
// holds a reference). Each start opens a new run generation, so a cancelled thread that is
// still unwinding cannot record its end over a later run of the same Thread.
class ThreadPimpl {
public:
    explicit ThreadPimpl(krel_std::Thread& owner,
                         const boost::shared_ptr<krel_std::Runnable>& runnable);
    ThreadPimpl(const ThreadPimpl&) = delete;
    ThreadPimpl& operator=(const ThreadPimpl&) = delete;
    ~ThreadPimpl();

    // Starts a new run of the owner on a detached thread, and returns once the new thread has
    // set up its run. Throws KrelOutOfResourcesException "Out of resources to create thread."
    // when the new thread could not set it up; the state then stays as it was.
    static void start(const boost::shared_ptr<ThreadPimpl>& pimpl, const std::wstring& name);
    void cancel();
    krel_std::Thread::ThreadState getState();
    krel_std::Thread::ThreadPriority getPriority();
    void setPriority(krel_std::Thread::ThreadPriority priority);
    // The running thread's id; NO_ID when it is not running.
    uint64_t getId();
    // Whether the calling thread is this thread's current run.
    bool isCurrentThread();
    // Marks the owner gone; a run still in progress no longer touches it.
    void releaseOwner();

    const boost::shared_ptr<krel_std::Runnable>& getRunnable() const { return runnable; }
    krel_std::Event& getStarted() { return started; }

private:
    struct StartContext;
    struct RunRecord;
    class RunEnd;

    static void* thread_func(void* argument);
    static bool setUpRun(StartContext& context, RunRecord& record);
    void runThread(const RunRecord& record);
    krel_std::Thread* announceStart();
    void runWork(krel_std::Thread* target);
    void recordEnd(unsigned int generation);
    void createThread(StartContext& context);

    krel_std::Thread::ThreadState state;
    pthread_t thread;
    pthread_mutex_t mutex;
    boost::shared_ptr<krel_std::Runnable> runnable;
    krel_std::Thread* owner;
    krel_std::Event started;
    unsigned int generation;
    krel_std::Thread::ThreadPriority priority;
};

} // namespace krel_std_internal
