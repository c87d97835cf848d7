#pragma once

#include "log/ContextLogMessage.h"
#include "log/LogEventPriority.h"

// The base name of the current source file, as the library's trace sites pass it.
#define KREL_SOURCE_FILE ::krel_std::getFileBaseName(L"" __FILE__)

// Opens a scope tracer that logs "Begin." and "End." at CALL when that threshold is on.
#define KREL_TRACE_SCOPE(function)                                                                 \
    ::krel_std::LogFunctionCall krelTraceScope_((function), L"KrelStd", KREL_SOURCE_FILE,          \
                                                __LINE__, ::krel_std::CALL, true)

// Opens a scope tracer whose entry line is a formatted text ("Begin. Name <%ls>.").
#define KREL_TRACE_SCOPE_ARGS(function, ...)                                                       \
    ::krel_std::LogFunctionCall krelTraceScope_((function), L"KrelStd", KREL_SOURCE_FILE,          \
                                                __LINE__, ::krel_std::CALL, __VA_ARGS__)

namespace krel_std {

// A scope tracer: logs an entry line when made and "End." when destroyed, each only while the
// static log's threshold lets its priority through. The texts are held as pointers (literals).
class LogFunctionCall {
public:
    LogFunctionCall(const wchar_t* function, const wchar_t* module, const wchar_t* file,
                    unsigned int line, LogEventPriority priority, bool logEntry);
    LogFunctionCall(const wchar_t* function, const wchar_t* module, const wchar_t* file,
                    unsigned int line, LogEventPriority priority, const wchar_t* format, ...);
    LogFunctionCall(const LogFunctionCall&) = delete;
    LogFunctionCall& operator=(const LogFunctionCall&) = delete;
    virtual ~LogFunctionCall();

    // Logs one more formatted line in this scope's context.
    void print(const wchar_t* format, ...);

private:
    LogFunctionCall();

    void write(const std::wstring& message) const;
    void writeFormatted(const wchar_t* errorContext, unsigned int errorLine, const wchar_t* format,
                        va_list arguments) const;

    const wchar_t* function;
    const wchar_t* module;
    const wchar_t* file;
    unsigned int line;
    LogEventPriority priority;
};

} // namespace krel_std
