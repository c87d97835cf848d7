// The levels of log events, declared below the log so that the library's trace sites in base can
// name them. Their names and tests are in log/LogEventPriority.h.
#pragma once

namespace krel_std {

// The level of a log event; higher values are more severe. An event passes a threshold when its
// priority is greater than or equal to it. DUMP to DEBUG are the debug priorities.
enum LogEventPriority : int {
    DUMP = 0,
    TRACE = 1,
    CALL = 2,
    DEBUG = 3,
    INFO = 4,
    WARN = 5,
    ERROR = 6,
    FATAL = 7
};

} // namespace krel_std
