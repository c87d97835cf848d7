#include "log/DebugFileFilter.h"

namespace krel_std {

DebugFileFilter::DebugFileFilter() = default;

DebugFileFilter::~DebugFileFilter() = default;

Configurable* DebugFileFilter::newInstance(const std::map<std::wstring, std::wstring>&) {
    return new DebugFileFilter();
}

ILogEventFilter::FilterDecision DebugFileFilter::decide(const LogEvent&) {
    return ACCEPT;
}

std::wstring DebugFileFilter::getClassName() const {
    return L"krel_std.DebugFileFilter";
}

} // namespace krel_std
