#include "log/LogEventPriority.h"

namespace krel_std {

namespace {

const wchar_t* const priorityNames[] = {L"DUMP", L"TRACE", L"CALL",  L"DEBUG",
                                        L"INFO", L"WARN",  L"ERROR", L"FATAL"};

// The order in which configuration texts are compared.
const LogEventPriority lookupOrder[] = {DEBUG, CALL, TRACE, DUMP, INFO, WARN, ERROR, FATAL};

} // namespace

std::wstring logEventPriorityToString(LogEventPriority priority) {
    const int value = static_cast<int>(priority);
    if (value < DUMP || value > FATAL) {
        return L"Invalid Priority Specified";
    }
    return priorityNames[value];
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
