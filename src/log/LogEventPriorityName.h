// The priority names as constant texts, for writers that must not build a string per event.
#pragma once

#include <string_view>

#include "log/LogEventPriority.h"

namespace krel_std_internal {

// The text logEventPriorityToString gives, as a view of a constant that lives for the process.
std::wstring_view logEventPriorityName(krel_std::LogEventPriority priority);

} // namespace krel_std_internal
