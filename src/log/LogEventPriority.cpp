#include "log/LogEventPriority.h"

#include "log/LogEventPriorityName.h"

namespace krel_std {

namespace {

using namespace std::string_view_literals;

constexpr std::wstring_view priorityNames[] = {L"DUMP"sv, L"TRACE"sv, L"CALL"sv,  L"DEBUG"sv,
                                               L"INFO"sv, L"WARN"sv,  L"ERROR"sv, L"FATAL"sv};

constexpr std::wstring_view invalidPriority = L"Invalid Priority Specified"sv;

// The order in which configuration texts are compared.
const LogEventPriority lookupOrder[] = {DEBUG, CALL, TRACE, DUMP, INFO, WARN, ERROR, FATAL};

} // namespace

std::wstring logEventPriorityToString(LogEventPriority priority) {
    return std::wstring(krel_std_internal::logEventPriorityName(priority));
}

LogEventPriority logEventPriorityFromString(const std::wstring& text,
                                            LogEventPriority defaultValue) {
    for (LogEventPriority candidate : lookupOrder) {
        if (text == priorityNames[candidate]) {
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
        return krel_std::invalidPriority;
    }
    return krel_std::priorityNames[value];
}

} // namespace krel_std_internal
