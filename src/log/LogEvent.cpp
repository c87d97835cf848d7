#include "log/LogEvent.h"

#include "log/LocalTimeCache.h"

namespace krel_std {

LogEvent::LogEvent() : LogEvent(DUMP) {}

LogEvent::LogEvent(LogEventPriority priority)
    : priority(priority), threadId(NO_THREAD_ID), line(0xFFFFFFFFu) {
    setTime();
}

LogEvent::LogEvent(const LogEvent& other) = default;

LogEvent& LogEvent::operator=(const LogEvent& other) {
    if (this != &other) {
        time = other.time;
        priority = other.priority;
        errorId = other.errorId;
        threadId = other.threadId;
        file = other.file;
        line = other.line;
        function = other.function;
        message = other.message;
    }
    return *this;
}

LogEvent::~LogEvent() = default;

void LogEvent::setTime() {
    time = krel_std_internal::LocalTimeCache::now();
}

} // namespace krel_std
