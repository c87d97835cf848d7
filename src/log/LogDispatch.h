// The path of every log call into the static log.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string_view>

#include "log/LogEventPriority.h"

namespace krel_std {
class LogEvent;
} // namespace krel_std

namespace krel_std_internal {

// The arguments of one log call, as views of the caller's texts, valid for the call. A log
// call's module is not stored in its event, so the record has none.
struct LogRecord {
    krel_std::LogEventPriority priority;
    std::wstring_view function;
    std::wstring_view message;
    std::wstring_view errorId;
    uint64_t threadId;
    std::wstring_view file;
    uint32_t line;
};

// Hands log calls to the static log without copying their texts into strings on the way:
// the logger copies them once, into the event its appenders receive.
class LogDispatch {
public:
    // What StaticLog::log does: the debugger output while the log is not initialised or the
    // thread is inside an appender's write, otherwise the appenders of the static log.
    static void write(const LogRecord& record);

    // Formats the message printf-style into the thread's message buffer and writes the record
    // with it. A format that fails gives the formatting error's text as the message.
    static void writeFormatted(LogRecord record, const wchar_t* format, va_list arguments);

    // Runs a change of a live appender from a thread other than a log call's (the file
    // watcher's) in the lock order of a log call: holding the static log's lock, the
    // instance's and the logger's, so no log call is inside an appender meanwhile. Log calls
    // made by the change itself go to the debugger output. Without an instance the change runs
    // holding nothing.
    static void runExclusive(const std::function<void()>& change);

    // Runs a change that the log's own configuration makes to one of its appenders. Log calls
    // that the change makes on this thread never reach an appender while it is changing: they
    // are kept, and written through the static log in the order made once the change is over
    // (also when it throws), so an appender that announces its change is heard like any other
    // caller. Nested runs hand their calls to the outermost.
    static void runKeepingLogCalls(const std::function<void()>& change);

private:
    // Appends the event, or without one the record, to the static log's appenders holding the
    // log's locks.
    static void writeLocked(const LogRecord& record, const krel_std::LogEvent* event);
};

} // namespace krel_std_internal
