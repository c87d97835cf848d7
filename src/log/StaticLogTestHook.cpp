#include "log/StaticLogTestHook.h"

#include "log/StaticLog.h"

namespace krel_std_internal {

using krel_std::StaticLog;

void StaticLogTestHook::initialize(const wchar_t* name, const AppenderMap& appenders) {
    StaticLog::initLocks();
    StaticLog::initInstanceWith(
        name, [&appenders](StaticLog& log) { log.addConfiguredAppenders(appenders); });
}

void StaticLogTestHook::setThreshold(krel_std::LogEventPriority threshold) {
    StaticLog::setThreshold(threshold);
}

void StaticLogTestHook::destroy() {
    StaticLog::destroyInstance();
}

void StaticLogTestHook::reset() {
    StaticLog::destroyInstance();
    StaticLog::destroyed.store(false);
    StaticLog::initLocks();
    StaticLog::setThreshold(krel_std::DEBUG);
    StaticLog::setModuleName(L"");
}

} // namespace krel_std_internal
