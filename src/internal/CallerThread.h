#pragma once

#include <cstdint>
#include <pthread.h>

namespace krel_std_internal {

// What the locks need to know about the calling thread, looked up once per thread and kept in a
// record that is trivially destructible (nothing to register at thread exit) and in the initial
// TLS block (no look-up call on the way to it).
class CallerThread {
public:
    static pthread_t handle() {
        if (record.handle == pthread_t()) {
            record.handle = pthread_self();
        }
        return record.handle;
    }

    // The numeric id of Thread::getCurrentThreadId.
    static uint64_t id() { return record.id != 0 ? record.id : lookUpId(); }

private:
    CallerThread();

    struct Record {
        pthread_t handle;
        // 0 until looked up; forgotten in the child of a fork, where the thread has a new id.
        uint64_t id;
    };

    static uint64_t lookUpId();
    static void forgetIdInChild();

    static __thread Record record __attribute__((tls_model("initial-exec")));
};

} // namespace krel_std_internal
