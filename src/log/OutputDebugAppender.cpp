#include "log/OutputDebugAppender.h"

#include "platform/WinBase.h"

namespace krel_std {

OutputDebugAppender::OutputDebugAppender()
    : ILogAppender(boost::shared_ptr<ILogEventFilter>(), boost::shared_ptr<ILogEventLayout>()) {}

OutputDebugAppender::~OutputDebugAppender() = default;

Configurable* OutputDebugAppender::newInstance(const std::map<std::wstring, std::wstring>&) {
    return new OutputDebugAppender();
}

std::wstring OutputDebugAppender::getClassName() const {
    return L"krel_std.OutputDebugAppender";
}

void OutputDebugAppender::localAppend(const LogEvent&) {}

void OutputDebugAppender::localAppend(const std::wstring& line) {
    if (!line.empty()) {
        OutputDebugStringW(line.c_str());
    }
}

} // namespace krel_std
