// Releases per-thread resources of the stand-in when a thread ends.
#pragma once

#include <pthread.h>

namespace krel_platform {

// A process-wide POSIX key whose release function runs for a thread that still holds a value
// when it ends. Per-thread resources are kept in trivially destructible thread-local variables
// and attached here, rather than in thread-local objects with destructors: a destructor must
// be registered with the C runtime, and that registration ends the process when memory is
// short, while attaching a value needs no memory. Keys are made on first use and never
// deleted (thread ends may come at any time until the process ends).
class ThreadExitKey {
public:
    typedef void (*Release)(void* value);

    explicit ThreadExitKey(Release release);
    ThreadExitKey(const ThreadExitKey&) = delete;
    ThreadExitKey& operator=(const ThreadExitKey&) = delete;

    // Has `value` (not null) released when the calling thread ends; false when the key or its
    // slot could not be had, and the caller keeps the resource to itself.
    bool attach(void* value);
    // The calling thread's resource was released by the caller: nothing is left to release.
    void detach();

private:
    pthread_key_t key;
    bool made;
};

} // namespace krel_platform
