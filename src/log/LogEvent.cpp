#include "log/LogEvent.h"

#include <chrono>
#include <ctime>

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
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto millis = duration_cast<milliseconds>(sinceEpoch).count();
    int64_t seconds = millis / 1000;
    int64_t rest = millis % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    time.time = seconds;
    time.millitm = static_cast<uint16_t>(rest);

    const std::time_t asTimeT = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&asTimeT, &local) != nullptr) {
        time.timezone = static_cast<int16_t>(-local.tm_gmtoff / 60);
        time.dstflag = static_cast<int16_t>(local.tm_isdst > 0 ? 1 : 0);
    }
}

} // namespace krel_std
