#include "log/LoggerBase.h"

#include <algorithm>

#include "exception/KrelIllegalArgumentException.h"
#include "internal/GuardedCall.h"
#include "log/AppenderWriteGuard.h"
#include "log/CharacterMove.h"
#include "log/DebugOutputLog.h"
#include "log/LocalTimeCache.h"
#include "log/LogDispatch.h"
#include "thread/AutoLock.h"

namespace krel_std {

LoggerBase::LoggerBase() : appenders(new AppenderList), writeDepth(0) {}

LoggerBase::~LoggerBase() = default;

void LoggerBase::addAppender(const boost::shared_ptr<ILogAppender>& appender) {
    if (!appender) {
        KrelIllegalArgumentException error(L"Appender to add must not be NULL.");
        error.logDebug(L"krel_std::LoggerBase::addAppender");
        throw error;
    }
    AutoLock<Lock> guard(lock);
    if (std::find(appenders->begin(), appenders->end(), appender) == appenders->end()) {
        std::unique_ptr<AppenderList> changed(new AppenderList(*appenders));
        changed->push_back(appender);
        replaceAppenders(std::move(changed));
    }
}

void LoggerBase::removeAppender(const boost::shared_ptr<ILogAppender>& appender) {
    AutoLock<Lock> guard(lock);
    if (std::find(appenders->begin(), appenders->end(), appender) != appenders->end()) {
        std::unique_ptr<AppenderList> changed(new AppenderList(*appenders));
        changed->erase(std::remove(changed->begin(), changed->end(), appender), changed->end());
        replaceAppenders(std::move(changed));
    }
}

bool LoggerBase::containsAppender(const boost::shared_ptr<ILogAppender>& appender) {
    AutoLock<Lock> guard(lock);
    return std::find(appenders->begin(), appenders->end(), appender) != appenders->end();
}

void LoggerBase::log(LogEventPriority priority, const std::wstring& function,
                     const std::wstring& message, const std::wstring&, const std::wstring& errorId,
                     uint64_t threadId, const std::wstring& file, uint32_t line) {
    if (isAppending()) {
        krel_std_internal::DebugOutputLog::write(priority, message, file, line);
        return;
    }
    AutoLock<Lock> guard(lock);
    write({priority, function, message, errorId, threadId, file, line});
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

// The event is stamped now, as a new one would be. A log call from inside an appender's write
// never gets here (it goes to the debugger output), so the event is never refilled while an
// appender reads it.
void LoggerBase::write(const krel_std_internal::LogRecord& record) {
    fill(reusedEvent, record);
    appendToAll(reusedEvent);
}

void LoggerBase::fill(LogEvent& event, const krel_std_internal::LogRecord& record) {
    event.time = krel_std_internal::LocalTimeCache::now();
    event.priority = record.priority;
    event.threadId = record.threadId;
    event.line = record.line;
    krel_std_internal::assignText(event.errorId, record.errorId);
    krel_std_internal::assignText(event.file, record.file);
    krel_std_internal::assignText(event.function, record.function);
    krel_std_internal::assignText(event.message, record.message);
}

// An appender that throws is erased and the next one goes on.
void LoggerBase::appendToAll(const LogEvent& event) {
    const AppenderList& current = *appenders;
    if (current.empty()) {
        return;
    }
    krel_std_internal::AppenderWriteGuard guard(spareLine);
    WriteDepth depth(*this);
    for (const auto& appender : current) {
        const bool appended = krel_std_internal::callGuarded(
            L"krel_std::LoggerBase::appendToAll",
            [] { return std::wstring(L"ILogAppender::append, now removed,"); },
            [&] { appender->append(event); });
        if (!appended) {
            removeAppender(appender);
        }
    }
}

void LoggerBase::replaceAppenders(std::unique_ptr<const AppenderList> changed) {
    if (writeDepth > 0) {
        retiredAppenders.push_back(std::move(appenders));
    }
    appenders = std::move(changed);
}

LoggerBase::WriteDepth::WriteDepth(LoggerBase& logger) : logger(logger) {
    ++logger.writeDepth;
}

LoggerBase::WriteDepth::~WriteDepth() {
    if (--logger.writeDepth == 0) {
        logger.retiredAppenders.clear();
    }
}

} // namespace krel_std
