// The filter of log files: the debug priorities are dropped.
#pragma once

#include "base/AutoRegisterClass.h"
#include "log/ILogEventFilter.h"

namespace krel_std {

// Drops DEBUG, CALL, TRACE and DUMP; accepts INFO and above. Registered as
// "krel_std.LogFileFilter".
class LogFileFilter : public ILogEventFilter, public AutoRegisterClass<LogFileFilter> {
public:
    LogFileFilter();
    ~LogFileFilter() override;

    // A new filter; the properties are ignored.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    FilterDecision decide(const LogEvent& event) override;
    std::wstring getClassName() const override;
};

} // namespace krel_std
