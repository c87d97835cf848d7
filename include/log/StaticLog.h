// StaticLog, the process-wide log started from its .cfg file.
#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "config/ConfigurationListener.h"
#include "file/File.h"
#include "log/ILogAppender.h"
#include "log/LogEventPriority.h"
#include "log/LogThreshold.h"
#include "log/LoggerBase.h"
#include "log/StaticLogPtr.h"
#include "thread/Lock.h"

namespace krel_std_internal {
void krelLibraryAttach();
void krelLibraryDetach();
class StaticLogTestHook;
class LogDispatch;
} // namespace krel_std_internal

namespace krel_std {

class KrelException;
class StaticLogConfig;

// The process-wide log. Until it is initialised with at least one appender, log calls go to the
// debugger output and the threshold test passes DEBUG and above. Once initialised, every log
// call builds an event and hands it to the appenders in the order they were added, serialised
// by the static log's lock.
//
// The static log's lock is made once and lives for the process: a log call that races
// destroyInstance finds no instance and drops its line, it never touches a freed lock.
class StaticLog {
public:
    StaticLog(const StaticLog&) = delete;
    StaticLog& operator=(const StaticLog&) = delete;
    virtual ~StaticLog();

    // Creates the instance and configures it from the log configuration file of that name
    // (see StaticLogConfig). Never throws: any failure leaves the log writing to the debugger
    // output. Only the first call does anything, whatever its outcome and name.
    static void initInstance(const wchar_t* name);

    // Takes no lock and makes no call: one read of the effective threshold.
    static bool isThresholdOn(LogEventPriority priority) {
        return krel_std_internal::LogThreshold::passes(priority);
    }
    // Whether a log call made now is written anywhere: always once the log is initialised (its
    // appenders then decide), before that only when the debugger output goes somewhere. Takes
    // no lock; a caller may skip building a message that nobody would read.
    static bool isOutputHeard();
    static LogEventPriority getThreshold();
    static std::wstring getModuleName();

    // The path of a log call: LogDispatch::write takes the static log's, the instance's and the
    // logger's locks and hands the record to LoggerBase::write, which stamps one event and gives
    // it to each appender in turn; an appender's filter decides and its layout makes the line;
    // a RollingFileAppender hands the line to RollingFile::write, which writes it to the file
    // with one write(). `module` is not kept: the event has no field for it.
    static void log(LogEventPriority priority, const std::wstring& function,
                    const std::wstring& message, const std::wstring& module,
                    const std::wstring& errorId, uint64_t threadId, const std::wstring& file,
                    unsigned int line);

    // Without an instance nothing happens. An appender joins even while the log is not
    // initialised but receives nothing until it is. A null appender throws
    // KrelIllegalArgumentException.
    static void addAppender(const boost::shared_ptr<ILogAppender>& appender);
    static void removeAppender(const boost::shared_ptr<ILogAppender>& appender);

    // Listeners of the log configuration file, told after the log applied each change.
    // Without an instance nothing happens.
    static void addConfigurationListener(const boost::shared_ptr<ConfigurationListener>& listener);
    static void
    removeConfigurationListener(const boost::shared_ptr<ConfigurationListener>& listener);

    // The log configuration file. Without an instance throws KrelIllegalStateException "Log is
    // not initialized.".
    static File getConfigPath();

protected:
    StaticLog();

private:
    friend class StaticLogPtr;
    friend class StaticLogConfig;
    friend class krel_std_internal::StaticLogTestHook;
    friend class krel_std_internal::LogDispatch;
    friend void krel_std_internal::krelLibraryAttach();
    friend void krel_std_internal::krelLibraryDetach();

    using AppenderMap = std::map<std::wstring, boost::shared_ptr<ILogAppender>>;

    static void initLocks();
    // The writers of `initialized` and `currentThreshold`: each keeps the effective threshold
    // of the threshold test in step.
    static void setInitialized(bool value);
    static void setThreshold(LogEventPriority threshold);
    static void publishThreshold();
    static void setModuleName(const wchar_t* name);
    static StaticLogPtr getInstance();
    // Takes the static log's lock for a log call and answers it; null, holding nothing, when
    // there is no instance or the lock fails (traced as getInstance traces it). The caller
    // writes to the instance's logger while it holds the lock, then releases it.
    static Lock* lockForWrite();
    static void destroyInstance();

    // Creates the instance once, named `name`, and runs `init` on it holding the static log's
    // lock and the instance's lock. Never throws; a failed initialisation leaves the log in
    // the debugger-output state.
    static void initInstanceWith(const wchar_t* name, const std::function<void(StaticLog&)>& init);
    // Reads the configuration file of the name and adds the appenders it built.
    void init(const wchar_t* name);
    // Adds the appenders in the map's order; the log is initialised when there was one.
    void addConfiguredAppenders(const AppenderMap& configured);

    static void logToDebugOutput(LogEventPriority priority, const std::wstring& message,
                                 const std::wstring& file, unsigned int line);
    static void traceGetInstanceFailure(const std::wstring& text, unsigned int line);
    static void traceLockFailure(KrelException& e, Lock& lock);

    Lock instanceLock;
    LoggerBase logger;
    // Made by init: an instance initialised without a configuration file (by the tests'
    // hook) reads no file and watches none.
    std::unique_ptr<StaticLogConfig> config;

    static std::atomic<StaticLog*> instance;
    static std::atomic<bool> destroyed;
    // Written only through setInitialized.
    static std::atomic<bool> initialized;
    static std::atomic<Lock*> singletonLock;
    // Written only through setThreshold.
    static std::atomic<LogEventPriority> currentThreshold;
};

} // namespace krel_std
