// LogEventPriority, the levels of log events, from DUMP to FATAL.
#pragma once

#include <string>

#include "base/TracePriority.h"

namespace krel_std {

// "DUMP" ... "FATAL"; "Invalid Priority Specified" for a value outside 0-7.
std::wstring logEventPriorityToString(LogEventPriority priority);

// Exact, case-sensitive match of a priority name; anything else answers the default.
LogEventPriority logEventPriorityFromString(const std::wstring& text,
                                            LogEventPriority defaultValue);

bool isDebugEventPriority(LogEventPriority priority);

} // namespace krel_std
