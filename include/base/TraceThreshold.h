// The static log's threshold test, answered inline by one read. It sits below the log so that
// the library's trace sites in base can ask it; the static log keeps it up to date.
#pragma once

#include <atomic>

#include "base/TracePriority.h"

namespace krel_std {
class StaticLog;
} // namespace krel_std

namespace krel_std_internal {

// The priority that the static log's threshold test compares with: the configured threshold
// while the log is initialised, DEBUG otherwise. Both inputs are folded into this one value,
// which the static log updates whenever either changes, so that a disabled trace costs one
// read and no call.
class LogThreshold {
public:
    static bool passes(krel_std::LogEventPriority priority) {
        return static_cast<int>(priority) >= effective.load(std::memory_order_relaxed);
    }

private:
    friend class krel_std::StaticLog;

    static std::atomic<int> effective;
};

} // namespace krel_std_internal
