#include "log/LogEventPriority.h"

#include "log/LogEventPriorityName.h"

namespace krel_std {

namespace {

using namespace std::string_view_literals;

constexpr std::wstring_view PRIORITY_NAMES[] = {L"DUMP"sv, L"TRACE"sv, L"CALL"sv,  L"DEBUG"sv,
                                                L"INFO"sv, L"WARN"sv,  L"ERROR"sv, L"FATAL"sv};

constexpr std::wstring_view INVALID_PRIORITY = L"Invalid Priority Specified"sv;

// The order in which configuration texts are compared.
const LogEventPriority LOOKUP_ORDER[] = {DEBUG, CALL, TRACE, DUMP, INFO, WARN, ERROR, FATAL};

} // namespace

std::wstring logEventPriorityToString(LogEventPriority priority) {
    return std::wstring(krel_std_internal::logEventPriorityName(priority));
}

LogEventPriority logEventPriorityFromString(const std::wstring& text,
                                            LogEventPriority defaultValue) {
    for (LogEventPriority candidate : LOOKUP_ORDER) {
        if (text == PRIORITY_NAMES[candidate]) {
            return candidate;
        }
    }
    return defaultValue;
}

bool isDebugEventPriority(LogEventPriority priority) {
    return static_cast<int>(priority) <= DEBUG;
}

} // namespace krel_std

namespace krel_std_internal {

std::wstring_view logEventPriorityName(krel_std::LogEventPriority priority) {
    const int value = static_cast<int>(priority);
    if (value < krel_std::DUMP || value > krel_std::FATAL) {
        return krel_std::INVALID_PRIORITY;
    }
    return krel_std::PRIORITY_NAMES[value];
}

} // namespace krel_std_internal
