#include "base/LogFunctionCall.h"

#include <cstdarg>
#include <pthread.h>

#include "base/TraceSink.h"
#include "platform/VaListGuard.h"

namespace krel_std {

LogFunctionCall::LogFunctionCall()
    : function(L""), module(L""), file(L""), line(0), priority(CALL) {}

LogFunctionCall::LogFunctionCall(const wchar_t* function, const wchar_t* module,
                                 const wchar_t* file, unsigned int line, LogEventPriority priority,
                                 const wchar_t* format, ...)
    : function(orEmpty(function)), module(orEmpty(module)), file(orEmpty(file)), line(line),
      priority(priority) {
    if (!krel_std_internal::LogThreshold::passes(priority)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    writeFormatted(L"krel_std::LogFunctionCall::LogFunctionCall", __LINE__, format, arguments);
}

void LogFunctionCall::print(const wchar_t* format, ...) {
    if (!krel_std_internal::LogThreshold::passes(priority)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    writeFormatted(L"krel_std::LogFunctionCall::print", __LINE__, format, arguments);
}

void LogFunctionCall::writeLine(const wchar_t* function, const wchar_t* file, unsigned int line,
                                LogEventPriority priority, const wchar_t* message) {
    krel_std_internal::TraceSink::write({priority, function, file, line}, message);
}

// Cancellation is held off while the end line is written: a destructor cannot pass on the
// unwinding of a cancelled thread, and a lost "End." line is the lesser harm.
void LogFunctionCall::writeEnd(const wchar_t* function, const wchar_t* file, unsigned int line,
                               LogEventPriority priority) {
    int cancelState = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
    try {
        writeLine(function, file, line, priority, L"End.");
    } catch (...) {
    }
    pthread_setcancelstate(cancelState, nullptr);
}

// Formats a line of this scope; a format that cannot be formatted is reported at DEBUG and its
// raw text is logged instead.
void LogFunctionCall::writeFormatted(const wchar_t* errorContext, unsigned int errorLine,
                                     const wchar_t* format, va_list arguments) const {
    krel_std_internal::TraceSink::writeFormattedOrRaw(
        {priority, function, file, line}, {DEBUG, errorContext, KREL_SOURCE_FILE, errorLine},
        format, arguments);
}

} // namespace krel_std
