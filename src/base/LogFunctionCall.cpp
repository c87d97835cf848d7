#include "base/LogFunctionCall.h"

#include <cstdarg>
#include <pthread.h>

#include "base/StringUtils.h"
#include "exception/KrelException.h"
#include "log/LogDispatch.h"
#include "log/MessageBuffer.h"
#include "log/StaticLog.h"
#include "platform/VaListGuard.h"
#include "thread/Thread.h"

namespace krel_std {

LogFunctionCall::LogFunctionCall()
    : function(L""), module(L""), file(L""), line(0), priority(CALL) {}

LogFunctionCall::LogFunctionCall(const wchar_t* function, const wchar_t* module,
                                 const wchar_t* file, unsigned int line, LogEventPriority priority,
                                 const wchar_t* format, ...)
    : function(orEmpty(function)), module(orEmpty(module)), file(orEmpty(file)), line(line),
      priority(priority) {
    if (!StaticLog::isThresholdOn(priority)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    writeFormatted(L"krel_std::LogFunctionCall::LogFunctionCall", __LINE__, format, arguments);
}

void LogFunctionCall::print(const wchar_t* format, ...) {
    if (!StaticLog::isThresholdOn(priority)) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    writeFormatted(L"krel_std::LogFunctionCall::print", __LINE__, format, arguments);
}

void LogFunctionCall::writeLine(const wchar_t* function, const wchar_t* file, unsigned int line,
                                LogEventPriority priority, const wchar_t* message) {
    krel_std_internal::LogDispatch::write(
        {priority, function, message, {}, Thread::getCurrentThreadId(), file, line});
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
    krel_std_internal::MessageBuffer message;
    try {
        StringUtils::sprintfStringAppendVA(message.text(), arguments, format);
    } catch (const KrelException& e) {
        if (StaticLog::isThresholdOn(DEBUG)) {
            ContextLogMessage::log(DEBUG, errorContext, L"KrelStd", L"",
                                   Thread::getCurrentThreadId(), KREL_SOURCE_FILE, errorLine,
                                   L"Error formatting message: %ls.", e.getMessage().c_str());
        }
        message.text() = orEmpty(format);
    }
    krel_std_internal::LogDispatch::write(
        {priority, function, message.text(), {}, Thread::getCurrentThreadId(), file, line});
}

} // namespace krel_std
