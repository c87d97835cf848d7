// The last-resort sink of the logging framework: the debugger output.
#pragma once

#include <string>
#include <string_view>

#include "log/LogEventPriority.h"

namespace krel_std_internal {

// Writes log lines where no appender can take them: before the static log is initialised,
// after it is destroyed, and for log calls made from inside an appender's write.
class DebugOutputLog {
public:
    // "<priority> : <message>" for INFO and above, "<file>[<line>] : <message>" below INFO,
    // with a line feed added unless the message ends in one.
    static std::wstring formatLine(krel_std::LogEventPriority priority, std::wstring_view message,
                                   std::wstring_view file, unsigned int line);
    static void write(krel_std::LogEventPriority priority, std::wstring_view message,
                      std::wstring_view file, unsigned int line);
};

} // namespace krel_std_internal
