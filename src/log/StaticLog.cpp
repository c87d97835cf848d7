#include "log/StaticLog.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "log/AppenderWriteGuard.h"
#include "log/DebugOutputLog.h"
#include "thread/AutoLock.h"

#include <cxxabi.h>
#include <mutex>

namespace krel_std {

std::atomic<StaticLog*> StaticLog::instance{nullptr};
std::atomic<bool> StaticLog::destroyed{false};
std::atomic<bool> StaticLog::initialized{false};
std::atomic<Lock*> StaticLog::singletonLock{nullptr};
std::atomic<LogEventPriority> StaticLog::currentThreshold{DEBUG};

namespace {

// The log name given at initialisation, read by any thread; both live for the process.
std::wstring& moduleNameStorage() {
    static std::wstring& name = *new std::wstring;
    return name;
}

std::mutex& moduleNameMutex() {
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
        // The instance is going away regardless; a failing lock cannot be waited on.
    }
}

// Made once and never deleted: a log call racing the unload may still reach it.
void StaticLog::initLocks() {
    static Lock& lock = *new Lock;
    singletonLock.store(&lock);
}

bool StaticLog::isThresholdOn(LogEventPriority priority) {
    if (!initialized.load(std::memory_order_acquire)) {
        return priority >= DEBUG;
    }
    return priority >= currentThreshold.load(std::memory_order_relaxed);
}

void StaticLog::setModuleName(const wchar_t* name) {
    std::lock_guard<std::mutex> guard(moduleNameMutex());
    moduleNameStorage() = name != nullptr ? name : L"";
}

LogEventPriority StaticLog::getThreshold() {
    return currentThreshold.load();
}

std::wstring StaticLog::getModuleName() {
    std::lock_guard<std::mutex> guard(moduleNameMutex());
    return moduleNameStorage();
}

void StaticLog::log(LogEventPriority priority, const std::wstring& function,
                    const std::wstring& message, const std::wstring& module,
                    const std::wstring& errorId, uint64_t threadId, const std::wstring& file,
                    unsigned int line) {
    // A call from inside an appender's write must not take the static log's locks again.
    if (!initialized.load(std::memory_order_acquire) ||
        krel_std_internal::AppenderWriteGuard::isActive()) {
        logToDebugOutput(priority, message, file, line);
        return;
    }
    StaticLogPtr handle = getInstance();
    if (handle) {
        handle->logger.log(priority, function, message, module, errorId, threadId, file, line);
    }
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
    try {
        AutoLock<Lock> guard(*lock);
        handle.reset(instance.load());
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (KrelException& e) {
        traceGetInstanceFailure(L"getInstance Caught Exception: " + e.getMessage(), 190);
        traceGetInstanceFailure(L"\tSingletonLock: " + lock->toString(), 191);
        StaticLog* current = instance.load();
        if (current != nullptr) {
            traceGetInstanceFailure(L"\tInstanceLock: " + current->instanceLock.toString(), 192);
        }
        handle.reset();
    } catch (...) {
        traceGetInstanceFailure(L"getInstance Caught Unknown Exception.", 195);
        handle.reset();
    }
    return handle;
}

// Goes straight to the debugger output: reporting through the log would need the very locks
// that just failed.
void StaticLog::traceGetInstanceFailure(const std::wstring& text, unsigned int line) {
    if (isThresholdOn(DEBUG)) {
        logToDebugOutput(DEBUG, text, KREL_SOURCE_FILE, line);
    }
}

void StaticLog::initInstanceWith(const wchar_t* name, const std::function<void(StaticLog&)>& init) {
    try {
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
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        // The log stays in the debugger-output state; an instance already set stays set.
    }
}

void StaticLog::addConfiguredAppenders(const AppenderMap& configured) {
    for (const auto& entry : configured) {
        logger.addAppender(entry.second);
    }
    if (!configured.empty()) {
        initialized.store(true, std::memory_order_release);
    } else if (__internal_debug_on()) {
        __internal_debug(L"krel_std::StaticLog::init", KREL_SOURCE_FILE, 272,
                         L"Logging was not initialized because no appenders were found.");
    }
}

// The static log's lock is not deleted: it lives for the process, so a call that passed the
// `destroyed` test before it was set still finds a valid lock and then no instance.
void StaticLog::destroyInstance() {
    if (destroyed.exchange(true)) {
        return;
    }
    initialized.store(false, std::memory_order_release);
    Lock* lock = singletonLock.load();
    if (lock == nullptr) {
        return;
    }
    StaticLog* doomed = nullptr;
    {
        AutoLock<Lock> guard(*lock);
        // An initialisation that held the lock meanwhile may have set the flag again.
        initialized.store(false, std::memory_order_release);
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
