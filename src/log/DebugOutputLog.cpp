#include "log/DebugOutputLog.h"

#include "platform/WinBase.h"

namespace krel_std_internal {

std::wstring DebugOutputLog::formatLine(krel_std::LogEventPriority priority,
                                        const std::wstring& message, const std::wstring& file,
                                        unsigned int line) {
    std::wstring text;
    if (priority >= krel_std::INFO) {
        text = krel_std::logEventPriorityToString(priority);
    } else {
        text = file + L"[" + std::to_wstring(line) + L"]";
    }
    text += L" : ";
    text += message;
    if (text.back() != L'\n') {
        text += L'\n';
    }
    return text;
}

void DebugOutputLog::write(krel_std::LogEventPriority priority, const std::wstring& message,
                           const std::wstring& file, unsigned int line) {
    OutputDebugStringW(formatLine(priority, message, file, line).c_str());
}

} // namespace krel_std_internal
