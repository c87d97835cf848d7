#include "log/LoggerBase.h"

#include "exception/KrelIllegalArgumentException.h"
#include "log/AppenderWriteGuard.h"
#include "log/DebugOutputLog.h"
#include "thread/AutoLock.h"

#include <algorithm>
#include <cxxabi.h>

namespace krel_std {

LoggerBase::LoggerBase() = default;

LoggerBase::~LoggerBase() = default;

void LoggerBase::addAppender(const boost::shared_ptr<ILogAppender>& appender) {
    if (!appender) {
        KrelIllegalArgumentException error(L"Appender to add must not be NULL.");
        error.logDebug(L"krel_std::LoggerBase::addAppender");
        throw error;
    }
    AutoLock<Lock> guard(lock);
    if (std::find(appenders.begin(), appenders.end(), appender) == appenders.end()) {
        appenders.push_back(appender);
    }
}

void LoggerBase::removeAppender(const boost::shared_ptr<ILogAppender>& appender) {
    AutoLock<Lock> guard(lock);
    appenders.remove(appender);
}

bool LoggerBase::containsAppender(const boost::shared_ptr<ILogAppender>& appender) {
    AutoLock<Lock> guard(lock);
    return std::find(appenders.begin(), appenders.end(), appender) != appenders.end();
}

void LoggerBase::log(LogEventPriority priority, const std::wstring& function,
                     const std::wstring& message, const std::wstring&, const std::wstring& errorId,
                     uint64_t threadId, const std::wstring& file, uint32_t line) {
    if (isAppending()) {
        krel_std_internal::DebugOutputLog::write(priority, message, file, line);
        return;
    }
    AutoLock<Lock> guard(lock);
    LogEvent event(priority);
    event.errorId = errorId;
    event.threadId = threadId;
    event.function = function;
    event.message = message;
    event.file = file;
    event.line = line;
    appendToAll(event);
}

void LoggerBase::append(const LogEvent& event) {
    if (isAppending()) {
        krel_std_internal::DebugOutputLog::write(event.priority, event.message, event.file,
                                                 event.line);
        return;
    }
    AutoLock<Lock> guard(lock);
    appendToAll(event);
}

bool LoggerBase::isAppending() {
    return krel_std_internal::AppenderWriteGuard::isActive();
}

// Called with the lock held. Works on a copy of the list so that an appender may change the
// list while it writes; an appender that throws is erased and the next one goes on.
void LoggerBase::appendToAll(const LogEvent& event) {
    if (appenders.empty()) {
        return;
    }
    krel_std_internal::AppenderWriteGuard guard;
    const std::list<boost::shared_ptr<ILogAppender>> current(appenders);
    for (const auto& appender : current) {
        try {
            appender->append(event);
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (...) {
            appenders.remove(appender);
        }
    }
}

} // namespace krel_std
