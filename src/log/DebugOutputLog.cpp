#include "log/DebugOutputLog.h"

#include "log/LogEventPriorityName.h"
#include "platform/WinBase.h"

namespace krel_std_internal {

std::wstring DebugOutputLog::formatLine(krel_std::LogEventPriority priority,
                                        std::wstring_view message, std::wstring_view file,
                                        unsigned int line) {
    std::wstring text;
    if (priority >= krel_std::INFO) {
        text = logEventPriorityName(priority);
    } else {
        text = file;
        text += L'[';
        text += std::to_wstring(line);
        text += L']';
    }
    text += L" : ";
    text += message;
    if (text.back() != L'\n') {
        text += L'\n';
    }
    return text;
}

void DebugOutputLog::write(krel_std::LogEventPriority priority, std::wstring_view message,
                           std::wstring_view file, unsigned int line) {
    OutputDebugStringW(formatLine(priority, message, file, line).c_str());
}

} // namespace krel_std_internal
