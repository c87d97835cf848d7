// The logging framework's scratch state of one thread.
#pragma once

#include <string>

#include "log/LocalTimeCache.h"

namespace krel_std_internal {

// What a thread keeps from one log call to the next so that the next allocates and converts
// nothing it did before: its message buffer and its local-time cache. Made on the thread's
// first log call, freed when the thread ends.
class LogThreadState {
public:
    // The calling thread's state; null when it cannot be made (callers then do without).
    static LogThreadState* current();

    std::wstring message;
    bool messageLent = false;
    LocalTimeCache::Entry time{};

private:
    static LogThreadState* make();
    static void release(void* state);
};

} // namespace krel_std_internal
