// The logging framework's scratch state of one thread.
#pragma once

#include <memory>
#include <string>

#include "log/LocalTimeCache.h"
#include "log/LogEvent.h"
#include "log/PreparedLines.h"

namespace krel_std_internal {

// What a thread keeps from one log call to the next so that the next allocates and converts
// nothing it did before: its message buffer, its local-time cache, the event of its log call
// and the lines it lays out for it. Made on the thread's first log call, freed when the thread
// ends.
class LogThreadState {
public:
    // The calling thread's state; null when it cannot be made (callers then do without).
    static LogThreadState* current();

    std::wstring message;
    bool messageLent = false;
    LocalTimeCache::Entry time{};
    // Made on the first log call that reaches the appenders: an event stamps itself with the
    // time when made, which needs this state.
    std::unique_ptr<krel_std::LogEvent> event;
    PreparedLines prepared;

private:
    static LogThreadState* make();
    static void release(void* state);
};

} // namespace krel_std_internal
