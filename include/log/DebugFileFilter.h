// The filter of debug files: every event passes.
#pragma once

#include "base/AutoRegisterClass.h"
#include "log/ILogEventFilter.h"

namespace krel_std {

// Accepts every event. Registered as "krel_std.DebugFileFilter".
class DebugFileFilter : public ILogEventFilter, public AutoRegisterClass<DebugFileFilter> {
public:
    DebugFileFilter();
    ~DebugFileFilter() override;

    // A new filter; the properties are ignored.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    FilterDecision decide(const LogEvent& event) override;
    std::wstring getClassName() const override;
};

} // namespace krel_std
