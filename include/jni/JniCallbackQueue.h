// JniCallbackQueue, the process-wide queue of records a Java thread takes.
#pragma once

#include <atomic>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <deque>
#include <jni.h>
#include <string>

#include "jni/IJniCallback.h"
#include "pattern/Singleton.h"
#include "thread/Event.h"

namespace krel_std {

class Lock;

// The process-wide queue of records for Java. Producers (the preference change dispatch thread,
// through JniPreferenceChangeListener) append records; a Java thread blocked in dequeue takes
// them one at a time, first in first out, each as a new Java object. The queue is unbounded and
// has no thread of its own.
//
// The queue runs until the first shutdown(), which is final: a waiting consumer wakes with null,
// queued records are dropped, and enqueue and dequeue throw KrelIllegalStateException
// "JniCallbackQueue is shutdown." from then on.
//
// The instance is never deleted and the lock it uses is process-wide and never destroyed: the
// library's unload hook shuts the queue down, possibly after the runtime's static destructors,
// while the dispatch thread may still enqueue.
class JniCallbackQueue : public Singleton<JniCallbackQueue>, private boost::noncopyable {
    friend class Singleton<JniCallbackQueue>;

public:
    // Shuts the queue down.
    ~JniCallbackQueue();

    // Appends the record and wakes one waiting consumer. An empty pointer throws
    // KrelIllegalArgumentException "JNI callback object value is NULL.".
    void enqueue(const boost::shared_ptr<IJniCallback>& callback);

    // Blocks until a record or the shut-down comes, holding no lock while it waits. Answers the
    // next record's Java object (null when the record could not make one, with the VM's error
    // pending), or null once the queue is shut down. A shut-down queue throws at once.
    jobject dequeue(JNIEnv* env);

    // Signals termination once: wakes every waiting consumer, waits 10 ms when one is waiting,
    // and drops every queued record. Later calls do nothing.
    void shutdown();

private:
    JniCallbackQueue();

    static const wchar_t* getSingletonName();
    // Guards the records and the shut-down test; made on first use, never destroyed.
    static Lock& lock();

    bool isShutdown() const;
    // Throws KrelIllegalStateException (logged at DEBUG) when the queue is shut down.
    void checkShutdown() const;
    // Takes the front record, or an empty pointer when there is none. The job event holds one
    // signal only, so a take that leaves records behind signals it again for the next one.
    boost::shared_ptr<IJniCallback> dequeue();

    Event terminateEvent;
    Event jobEvent;
    std::deque<boost::shared_ptr<IJniCallback>> queue;
    // Threads waiting in dequeue(JNIEnv*): the shut-down pauses for them to wake, and only then.
    std::atomic<int> consumers;
};

} // namespace krel_std
