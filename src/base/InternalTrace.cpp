#include "base/InternalTrace.h"

#include <cstdarg>

#include "base/TraceSink.h"
#include "platform/VaListGuard.h"

namespace krel_std {

namespace {

const wchar_t* orEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

void traceVA(LogEventPriority priority, const wchar_t* function, const wchar_t* file,
             unsigned int line, const wchar_t* format, va_list arguments) {
    krel_std_internal::TraceSink::writeFormattedVA(
        {priority, orEmpty(function), orEmpty(file), line}, format, arguments);
}

// Runs one trace with the caller's variable arguments.
#define KREL_TRACE_WITH(priority)                                                                  \
    va_list arguments;                                                                             \
    va_start(arguments, format);                                                                   \
    krel_platform::VaListGuard endArguments(arguments);                                            \
    traceVA((priority), function, file, line, format, arguments)

} // namespace

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
