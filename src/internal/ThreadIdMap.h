#pragma once

#include <cstdint>
#include <map>
#include <pthread.h>

namespace krel_std_internal {

// The numeric ids of the threads started through Thread, by POSIX thread handle. A thread
// enters itself when it starts and leaves when it ends (also when it is cancelled), so a
// handle that the system reuses never answers a dead thread's id. One process-wide instance,
// made on first use and never destroyed; no other lock is taken while its mutex is held.
class ThreadIdMap {
public:
    static constexpr uint64_t NO_ID = 0xFFFFFFFFu;

    static ThreadIdMap& getInstance();

    // Inserts or replaces.
    void put(pthread_t thread, uint64_t id);
    void remove(pthread_t thread);
    // NO_ID when absent.
    uint64_t get(pthread_t thread);
    void clear();

    // The id of a handle: NO_ID for the null handle; the mapped id; for the calling thread's
    // own handle its operating-system id; NO_ID for any other handle.
    uint64_t lookup(pthread_t thread);

private:
    ThreadIdMap();

    pthread_mutex_t mutex;
    std::map<pthread_t, uint64_t> ids;
};

} // namespace krel_std_internal
