#include "internal/ThreadIdMap.h"

#include "internal/MutexGuard.h"
#include "thread/Thread.h"

namespace krel_std_internal {

ThreadIdMap& ThreadIdMap::getInstance() {
    static ThreadIdMap& instance = *new ThreadIdMap;
    return instance;
}

ThreadIdMap::ThreadIdMap() {
    pthread_mutex_init(&mutex, nullptr);
}

void ThreadIdMap::put(pthread_t thread, uint64_t id) {
    MutexGuard guard(mutex);
    ids[thread] = id;
}

void ThreadIdMap::remove(pthread_t thread) {
    MutexGuard guard(mutex);
    ids.erase(thread);
}

uint64_t ThreadIdMap::get(pthread_t thread) {
    MutexGuard guard(mutex);
    auto entry = ids.find(thread);
    return entry == ids.end() ? NO_ID : entry->second;
}

void ThreadIdMap::clear() {
    MutexGuard guard(mutex);
    ids.clear();
}

uint64_t ThreadIdMap::lookup(pthread_t thread) {
    if (thread == pthread_t()) {
        return NO_ID;
    }
    uint64_t id = get(thread);
    if (id == NO_ID && pthread_equal(thread, pthread_self())) {
        return krel_std::Thread::getCurrentThreadId();
    }
    return id;
}

} // namespace krel_std_internal
