// LogFunctionCall, the scope tracer, with the KREL_TRACE_SCOPE macros, and KREL_SOURCE_FILE.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <type_traits>

#include "base/TracePriority.h"
#include "base/TraceThreshold.h"

namespace krel_std_internal {

// Where getFileBaseName's result starts in `path`, worked out while compiling.
constexpr std::size_t fileBaseNameOffset(const wchar_t* path) {
    std::size_t base = 0;
    for (std::size_t i = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/') {
            base = i + 1;
        }
    }
    return base;
}

} // namespace krel_std_internal

// The base name of the current source file, as the library's trace sites pass it: the same
// text as getFileBaseName(__FILE__), found by the compiler.
#define KREL_SOURCE_FILE                                                                           \
    (&(L"" __FILE__)[std::integral_constant<std::size_t, ::krel_std_internal::fileBaseNameOffset(  \
                                                             L"" __FILE__)>::value])

// Opens a scope tracer that logs "Begin." and "End." at CALL when that threshold is on.
#define KREL_TRACE_SCOPE(function)                                                                 \
    ::krel_std::LogFunctionCall krelTraceScope_((function), L"KrelStd", KREL_SOURCE_FILE,          \
                                                __LINE__, ::krel_std::CALL, true)

// Opens a scope tracer whose entry line is a formatted text ("Begin. Name <%ls>.").
#define KREL_TRACE_SCOPE_ARGS(function, ...)                                                       \
    ::krel_std::LogFunctionCall krelTraceScope_((function), L"KrelStd", KREL_SOURCE_FILE,          \
                                                __LINE__, ::krel_std::CALL, __VA_ARGS__)

// A further line of the scope tracer opened above, at CALL; the format's arguments are only
// evaluated when that threshold is on.
#define KREL_TRACE_SCOPE_PRINT(...)                                                                \
    do {                                                                                           \
        if (::krel_std_internal::LogThreshold::passes(::krel_std::CALL)) {                         \
            krelTraceScope_.print(__VA_ARGS__);                                                    \
        }                                                                                          \
    } while (0)

namespace krel_std {

// A scope tracer: logs an entry line when made and "End." when destroyed, each only while the
// static log's threshold lets its priority through. The texts are held as pointers (literals).
// The threshold is tested inline before anything else, so a tracer whose priority is off costs
// a read of the threshold at each end of the scope.
class LogFunctionCall {
public:
    LogFunctionCall(const wchar_t* functionName, const wchar_t* moduleName, const wchar_t* fileName,
                    unsigned int lineNumber, LogEventPriority level, bool logEntry)
        : function(orEmpty(functionName)), module(orEmpty(moduleName)), file(orEmpty(fileName)),
          line(lineNumber), priority(level) {
        if (logEntry && krel_std_internal::LogThreshold::passes(priority)) {
            writeLine(function, file, line, priority, L"Begin.");
        }
    }
    LogFunctionCall(const wchar_t* function, const wchar_t* module, const wchar_t* file,
                    unsigned int line, LogEventPriority priority, const wchar_t* format, ...);
    LogFunctionCall(const LogFunctionCall&) = delete;
    LogFunctionCall& operator=(const LogFunctionCall&) = delete;
    virtual ~LogFunctionCall() {
        if (krel_std_internal::LogThreshold::passes(priority)) {
            writeEnd(function, file, line, priority);
        }
    }

    // Logs one more formatted line in this scope's context.
    void print(const wchar_t* format, ...);

private:
    LogFunctionCall();

    static const wchar_t* orEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

    // The writers take the context by value, so that a tracer whose lines are off never has
    // its address taken and costs no stores. The module is not part of a logged event.
    static void writeLine(const wchar_t* function, const wchar_t* file, unsigned int line,
                          LogEventPriority priority, const wchar_t* message);
    static void writeEnd(const wchar_t* function, const wchar_t* file, unsigned int line,
                         LogEventPriority priority);
    void writeFormatted(const wchar_t* errorContext, unsigned int errorLine, const wchar_t* format,
                        va_list arguments) const;

    const wchar_t* function;
    const wchar_t* module;
    const wchar_t* file;
    unsigned int line;
    LogEventPriority priority;
};

} // namespace krel_std
