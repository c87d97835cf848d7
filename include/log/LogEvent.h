// The record that travels through the logging framework.
#pragma once

#include <cstdint>
#include <string>

#include "log/LogEventPriority.h"

namespace krel_std {

// The moment an event was made, in the C runtime's time-with-milliseconds form.
struct LogEventTime {
    int64_t time = 0;     // seconds since 1970-01-01 UTC
    uint16_t millitm = 0; // milliseconds within that second, 0-999
    int16_t timezone = 0; // minutes west of UTC
    int16_t dstflag = 0;  // non-zero while daylight-saving time is in effect
};

// One log event. Layouts and appenders read the public fields directly.
class LogEvent {
public:
    // Marks an event without a thread id (only the low word set).
    static constexpr uint64_t NO_THREAD_ID = 0xFFFFFFFFull;

    // Priority DUMP, no thread id, line 0xFFFFFFFF, empty texts, time now.
    LogEvent();
    // As the default, with the given priority.
    explicit LogEvent(LogEventPriority priority);
    LogEvent(const LogEvent& other);
    LogEvent& operator=(const LogEvent& other);
    virtual ~LogEvent();

    LogEventTime time;
    LogEventPriority priority;
    std::wstring errorId;  // numbered message code ("STD0009") or empty
    uint64_t threadId;     // id of the logging thread, or NO_THREAD_ID
    std::wstring file;     // source file base name, or empty
    uint32_t line;         // source line; 0 for none
    std::wstring function; // qualified name of the logging function
    std::wstring message;

private:
    void setTime();
};

} // namespace krel_std
