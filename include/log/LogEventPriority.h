// LogEventPriority, the levels of log events, from DUMP to FATAL.
#pragma once

#include <string>

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

// "DUMP" ... "FATAL"; "Invalid Priority Specified" for a value outside 0-7.
std::wstring logEventPriorityToString(LogEventPriority priority);

// Exact, case-sensitive match of a priority name; anything else answers the default.
LogEventPriority logEventPriorityFromString(const std::wstring& text,
                                            LogEventPriority defaultValue);

bool isDebugEventPriority(LogEventPriority priority);

} // namespace krel_std
