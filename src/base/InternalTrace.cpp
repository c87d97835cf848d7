#include "base/InternalTrace.h"

#include <cstdarg>

#include "log/LogDispatch.h"
#include "log/StaticLog.h"
#include "platform/VaListGuard.h"
#include "thread/Thread.h"

namespace krel_std {

namespace {

const wchar_t* orEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

void traceVA(LogEventPriority priority, const wchar_t* function, const wchar_t* file,
             unsigned int line, const wchar_t* format, va_list arguments) {
    krel_std_internal::LogDispatch::writeFormatted(
        {priority, orEmpty(function), {}, {}, Thread::getCurrentThreadId(), orEmpty(file), line},
        format, arguments);
}

// Runs one trace with the caller's variable arguments.
#define KREL_TRACE_WITH(priority)                                                                  \
    va_list arguments;                                                                             \
    va_start(arguments, format);                                                                   \
    krel_platform::VaListGuard endArguments(arguments);                                            \
    traceVA((priority), function, file, line, format, arguments)

} // namespace

bool __internal_debug_on() {
    return StaticLog::isThresholdOn(DEBUG);
}
bool __internal_call_on() {
    return StaticLog::isThresholdOn(CALL);
}
bool __internal_trace_on() {
    return StaticLog::isThresholdOn(TRACE);
}
bool __internal_dump_on() {
    return StaticLog::isThresholdOn(DUMP);
}

void __internal_debug(const wchar_t* function, const wchar_t* file, unsigned int line,
                      const wchar_t* format, ...) {
    KREL_TRACE_WITH(DEBUG);
}

void __internal_call(const wchar_t* function, const wchar_t* file, unsigned int line,
                     const wchar_t* format, ...) {
    KREL_TRACE_WITH(CALL);
}

void __internal_trace(const wchar_t* function, const wchar_t* file, unsigned int line,
                      const wchar_t* format, ...) {
    KREL_TRACE_WITH(TRACE);
}

void __internal_dump(const wchar_t* function, const wchar_t* file, unsigned int line,
                     const wchar_t* format, ...) {
    KREL_TRACE_WITH(DUMP);
}

#undef KREL_TRACE_WITH

} // namespace krel_std
