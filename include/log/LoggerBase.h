// The ordered appender list of one logger.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/ILogAppender.h"
#include "log/LogEvent.h"
#include "thread/Lock.h"

namespace krel_std_internal {
class LogDispatch;
struct LogRecord;
} // namespace krel_std_internal

namespace krel_std {

// Keeps the appenders of one logger in the order they were added, turns a log call into a
// LogEvent and hands it to each of them under the logger's lock, so the appenders of one
// logger are called by one thread at a time.
//
// An appender that throws is dropped for good; the others still receive the event. A log call
// made by a thread that is already inside an appender's write (an appender that logs while it
// writes, for example) never re-enters the appenders: it goes to the debugger output.
class LoggerBase {
public:
    LoggerBase();
    virtual ~LoggerBase();

    LoggerBase(const LoggerBase&) = delete;
    LoggerBase& operator=(const LoggerBase&) = delete;

    // Appends at the end unless already held; a null appender throws
    // KrelIllegalArgumentException "Appender to add must not be NULL.".
    void addAppender(const boost::shared_ptr<ILogAppender>& appender);
    void removeAppender(const boost::shared_ptr<ILogAppender>& appender);
    bool containsAppender(const boost::shared_ptr<ILogAppender>& appender);

    // Builds an event stamped with the current time and appends it. `module` is not stored.
    void log(LogEventPriority priority, const std::wstring& function, const std::wstring& message,
             const std::wstring& module, const std::wstring& errorId, uint64_t threadId,
             const std::wstring& file, uint32_t line);

    void append(const LogEvent& event);

private:
    friend class krel_std_internal::LogDispatch;

    using AppenderList = std::vector<boost::shared_ptr<ILogAppender>>;

    static bool isAppending();
    // Fills the logger's event from the record and appends it. The caller holds the lock, or
    // otherwise makes sure that no other thread uses the logger meanwhile.
    void write(const krel_std_internal::LogRecord& record);
    // Fills the event from the record, stamped with the current time.
    static void fill(LogEvent& event, const krel_std_internal::LogRecord& record);
    // Called with the lock held, or by the only thread using the logger.
    void appendToAll(const LogEvent& event);
    // Installs a changed list. A list replaced during a write (by an appender, on the writing
    // thread) is kept until the write ends, so the write goes on over the list it started with.
    void replaceAppenders(std::unique_ptr<const AppenderList> changed);

    // Counts one write in progress for its lifetime; the last one ending frees the lists
    // replaced meanwhile.
    class WriteDepth {
    public:
        explicit WriteDepth(LoggerBase& logger);
        ~WriteDepth();
        WriteDepth(const WriteDepth&) = delete;
        WriteDepth& operator=(const WriteDepth&) = delete;

    private:
        LoggerBase& logger;
    };

    Lock lock;
    // Never changed in place; see replaceAppenders.
    std::unique_ptr<const AppenderList> appenders;
    std::vector<std::unique_ptr<const AppenderList>> retiredAppenders;
    // Writes in progress on the thread that holds the logger (a write may nest in another).
    unsigned int writeDepth;
    // The event of every log call, its texts' storage kept from call to call.
    LogEvent reusedEvent;
    // Storage the layouts build their lines in.
    std::wstring spareLine;
};

} // namespace krel_std
