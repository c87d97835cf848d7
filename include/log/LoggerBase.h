// The ordered appender list of one logger.
#pragma once

#include "log/ILogAppender.h"
#include "log/LogEvent.h"
#include "thread/Lock.h"

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <list>
#include <string>

namespace krel_std {

/// Keeps the appenders of one logger in the order they were added, turns a log call into a
/// LogEvent and hands it to each of them under the logger's lock, so the appenders of one
/// logger are called by one thread at a time.
///
/// An appender that throws is dropped for good; the others still receive the event. A log call
/// made by a thread that is already inside an appender's write (an appender that logs while it
/// writes, for example) never re-enters the appenders: it goes to the debugger output.
class LoggerBase {
public:
    LoggerBase();
    virtual ~LoggerBase();

    LoggerBase(const LoggerBase&) = delete;
    LoggerBase& operator=(const LoggerBase&) = delete;

    /// Appends at the end unless already held; a null appender throws
    /// KrelIllegalArgumentException "Appender to add must not be NULL.".
    void addAppender(const boost::shared_ptr<ILogAppender>& appender);
    void removeAppender(const boost::shared_ptr<ILogAppender>& appender);
    bool containsAppender(const boost::shared_ptr<ILogAppender>& appender);

    /// Builds an event stamped with the current time and appends it. `module` is not stored.
    void log(LogEventPriority priority, const std::wstring& function, const std::wstring& message,
             const std::wstring& module, const std::wstring& errorId, uint64_t threadId,
             const std::wstring& file, uint32_t line);

    void append(const LogEvent& event);

private:
    static bool isAppending();
    void appendToAll(const LogEvent& event);

    Lock lock;
    std::list<boost::shared_ptr<ILogAppender>> appenders;
};

} // namespace krel_std
