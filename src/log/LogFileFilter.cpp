#include "log/LogFileFilter.h"

namespace krel_std {

LogFileFilter::LogFileFilter() = default;

LogFileFilter::~LogFileFilter() = default;

Configurable* LogFileFilter::newInstance(const std::map<std::wstring, std::wstring>&) {
    return new LogFileFilter();
}

ILogEventFilter::FilterDecision LogFileFilter::decide(const LogEvent& event) {
    return event.priority <= DEBUG ? DENY : ACCEPT;
}

std::wstring LogFileFilter::getClassName() const {
    return L"krel_std.LogFileFilter";
}

} // namespace krel_std
