#include "log/StaticLog.h"

#include <mutex>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "exception/KrelIllegalStateException.h"
#include "internal/GuardedCall.h"
#include "log/DebugOutputLog.h"
#include "log/LogDispatch.h"
#include "log/StaticLogConfig.h"
#include "platform/DebugOutput.h"
#include "thread/AutoLock.h"

namespace krel_std {

std::atomic<StaticLog*> StaticLog::instance{nullptr};
std::atomic<bool> StaticLog::destroyed{false};
std::atomic<bool> StaticLog::initialized{false};
std::atomic<Lock*> StaticLog::singletonLock{nullptr};
std::atomic<LogEventPriority> StaticLog::currentThreshold{DEBUG};

namespace {

// The line numbers of the static log's own failure traces. Log readers match these traces by
// their numbers, so each keeps its number whatever line of this file writes it.
const unsigned int LOCK_FAILURE_LINE = 190;
const unsigned int SINGLETON_LOCK_STATE_LINE = 191;
const unsigned int INSTANCE_LOCK_STATE_LINE = 192;
const unsigned int UNKNOWN_LOCK_FAILURE_LINE = 195;
const unsigned int NO_APPENDERS_LINE = 272;

// The log name given at initialisation, read by any thread; both live for the process.
std::wstring& moduleNameStorage() {
    static std::wstring& name = *new std::wstring;
    return name;
}

std::mutex& moduleNameMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

// Serialises the writers of the threshold test's inputs, so that the effective threshold
// always follows the last of them.
std::mutex& thresholdMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

} // namespace

StaticLog::StaticLog() = default;

// Waits for any handle that still holds the instance's lock before the logger and its
// appenders go.
StaticLog::~StaticLog() {
    try {
        AutoLock<Lock> guard(instanceLock);
    } catch (...) {
        // The instance is going away regardless; a failing lock cannot be waited on. Taking a
        // lock is no cancellation point, so no cancellation's unwinding arrives here.
    }
}

// Made once and never deleted: a log call racing the unload may still reach it.
void StaticLog::initLocks() {
    static Lock& lock = *new Lock;
    singletonLock.store(&lock);
}

void StaticLog::setInitialized(bool value) {
    std::lock_guard<std::mutex> guard(thresholdMutex());
    initialized.store(value, std::memory_order_release);
    publishThreshold();
}

void StaticLog::setThreshold(LogEventPriority threshold) {
    std::lock_guard<std::mutex> guard(thresholdMutex());
    currentThreshold.store(threshold);
    publishThreshold();
}

// Called with the threshold mutex held.
void StaticLog::publishThreshold() {
    const LogEventPriority effective = initialized.load() ? currentThreshold.load() : DEBUG;
    krel_std_internal::LogThreshold::effective.store(effective, std::memory_order_relaxed);
}

void StaticLog::setModuleName(const wchar_t* name) {
    std::lock_guard<std::mutex> guard(moduleNameMutex());
    moduleNameStorage() = name != nullptr ? name : L"";
}

bool StaticLog::isOutputHeard() {
    return initialized.load(std::memory_order_acquire) || krel_platform::isDebugOutputHeard();
}

LogEventPriority StaticLog::getThreshold() {
    return currentThreshold.load();
}

std::wstring StaticLog::getModuleName() {
    std::lock_guard<std::mutex> guard(moduleNameMutex());
    return moduleNameStorage();
}

void StaticLog::log(LogEventPriority priority, const std::wstring& function,
                    const std::wstring& message, const std::wstring&, const std::wstring& errorId,
                    uint64_t threadId, const std::wstring& file, unsigned int line) {
    krel_std_internal::LogDispatch::write(
        {priority, function, message, errorId, threadId, file, line});
}

void StaticLog::addAppender(const boost::shared_ptr<ILogAppender>& appender) {
    StaticLogPtr handle = getInstance();
    if (handle) {
        handle->logger.addAppender(appender);
    }
}

void StaticLog::removeAppender(const boost::shared_ptr<ILogAppender>& appender) {
    StaticLogPtr handle = getInstance();
    if (handle) {
        handle->logger.removeAppender(appender);
    }
}

StaticLogPtr StaticLog::getInstance() {
    StaticLogPtr handle;
    Lock* lock = singletonLock.load();
    if (destroyed.load() || lock == nullptr || instance.load() == nullptr) {
        return handle;
    }
    krel_std_internal::callSwallowing([&] { handle.acquire(lock); },
                                      [&] {
                                          try {
                                              throw;
                                          } catch (KrelException& e) {
                                              traceLockFailure(e, *lock);
                                              handle.reset();
                                          } catch (...) {
                                              traceGetInstanceFailure(
                                                  L"getInstance Caught Unknown Exception.",
                                                  UNKNOWN_LOCK_FAILURE_LINE);
                                              handle.reset();
                                          }
                                      });
    return handle;
}

// Takes the static log's lock for a log call: while it is held the instance cannot be cleared,
// so it cannot be deleted either. The caller then takes the instance's and the logger's locks.
Lock* StaticLog::lockForWrite() {
    Lock* lock = singletonLock.load();
    if (destroyed.load() || lock == nullptr || instance.load() == nullptr) {
        return nullptr;
    }
    return krel_std_internal::callSwallowing(
        [&] {
            lock->lock();
            return lock;
        },
        [&]() -> Lock* {
            try {
                throw;
            } catch (KrelException& e) {
                traceLockFailure(e, *lock);
            } catch (...) {
                traceGetInstanceFailure(L"getInstance Caught Unknown Exception.",
                                        UNKNOWN_LOCK_FAILURE_LINE);
            }
            return nullptr;
        });
}

void StaticLog::traceLockFailure(KrelException& e, Lock& lock) {
    traceGetInstanceFailure(L"getInstance Caught Exception: " + e.getMessage(), LOCK_FAILURE_LINE);
    traceGetInstanceFailure(L"\tSingletonLock: " + lock.toString(), SINGLETON_LOCK_STATE_LINE);
    StaticLog* current = instance.load();
    if (current != nullptr) {
        traceGetInstanceFailure(L"\tInstanceLock: " + current->instanceLock.toString(),
                                INSTANCE_LOCK_STATE_LINE);
    }
}

// Goes straight to the debugger output: reporting through the log would need the very locks
// that just failed.
void StaticLog::traceGetInstanceFailure(const std::wstring& text, unsigned int line) {
    if (isThresholdOn(DEBUG)) {
        logToDebugOutput(DEBUG, text, KREL_SOURCE_FILE, line);
    }
}

void StaticLog::initInstance(const wchar_t* name) {
    initInstanceWith(name, [name](StaticLog& log) { log.init(name); });
}

void StaticLog::init(const wchar_t* name) {
    config.reset(new StaticLogConfig());
    config->initialize(name != nullptr ? name : L"");
    addConfiguredAppenders(config->getAppenders());
}

void StaticLog::addConfigurationListener(const boost::shared_ptr<ConfigurationListener>& listener) {
    StaticLogPtr handle = getInstance();
    if (handle && handle->config) {
        handle->config->getConfig().addConfigurationListener(listener);
    }
}

void StaticLog::removeConfigurationListener(
    const boost::shared_ptr<ConfigurationListener>& listener) {
    StaticLogPtr handle = getInstance();
    if (handle && handle->config) {
        handle->config->getConfig().removeConfigurationListener(listener);
    }
}

File StaticLog::getConfigPath() {
    StaticLogPtr handle = getInstance();
    if (!handle || !handle->config) {
        KrelIllegalStateException failure(L"Log is not initialized.");
        failure.logDebug(L"krel_std::StaticLog::getConfigPath");
        throw failure;
    }
    return handle->config->getConfig().getPath();
}

void StaticLog::initInstanceWith(const wchar_t* name, const std::function<void(StaticLog&)>& init) {
    // On a failure the log stays in the debugger-output state; an instance already set stays set.
    krel_std_internal::callSwallowing([&] {
        Lock* lock = singletonLock.load();
        if (destroyed.load() || lock == nullptr || instance.load() != nullptr) {
            return;
        }
        AutoLock<Lock> guard(*lock);
        if (instance.load() != nullptr || destroyed.load()) {
            return;
        }
        StaticLog* created = new StaticLog();
        setModuleName(name);
        AutoLock<Lock> instanceGuard(created->instanceLock);
        instance.store(created);
        init(*created);
    });
}

void StaticLog::addConfiguredAppenders(const AppenderMap& configured) {
    for (const auto& entry : configured) {
        logger.addAppender(entry.second);
    }
    if (!configured.empty()) {
        setInitialized(true);
    } else {
        KREL_INTERNAL_DEBUG_AT(L"krel_std::StaticLog::init", KREL_SOURCE_FILE, NO_APPENDERS_LINE,
                               L"Logging was not initialized because no appenders were found.");
    }
}

// The static log's lock is not deleted: it lives for the process, so a call that passed the
// `destroyed` test before it was set still finds a valid lock and then no instance.
void StaticLog::destroyInstance() {
    if (destroyed.exchange(true)) {
        return;
    }
    setInitialized(false);
    Lock* lock = singletonLock.load();
    if (lock == nullptr) {
        return;
    }
    StaticLog* doomed = nullptr;
    {
        AutoLock<Lock> guard(*lock);
        // An initialisation that held the lock meanwhile may have set the flag again.
        setInitialized(false);
        doomed = instance.exchange(nullptr);
        singletonLock.store(nullptr);
    }
    delete doomed;
}

void StaticLog::logToDebugOutput(LogEventPriority priority, const std::wstring& message,
                                 const std::wstring& file, unsigned int line) {
    krel_std_internal::DebugOutputLog::write(priority, message, file, line);
}

} // namespace krel_std
