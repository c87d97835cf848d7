// ContextLogMessage, which logs formatted messages with a fixed source context.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "log/LogEventPriority.h"

namespace krel_std {

// Logs formatted messages with a fixed source context. The texts are held as pointers: the
// caller's texts (normally literals) must outlive the object.
class ContextLogMessage {
public:
    ContextLogMessage(const wchar_t* function, LogEventPriority priority, const wchar_t* module,
                      const wchar_t* file, unsigned int line);
    virtual ~ContextLogMessage();

    // Logs with this object's context, an empty error id and the calling thread's id.
    void log(const wchar_t* format, ...);

    // Logs with the given context. Texts given as pointers (normally literals) are read in
    // place, never copied into strings on the way; a null one logs as empty.
    static void log(LogEventPriority priority, const wchar_t* function, const wchar_t* module,
                    const wchar_t* errorId, uint64_t threadId, const wchar_t* file,
                    unsigned int line, const wchar_t* format, ...);
    static void log(LogEventPriority priority, const std::wstring& function,
                    const std::wstring& module, const std::wstring& errorId, uint64_t threadId,
                    const std::wstring& file, unsigned int line, const wchar_t* format, ...);

    // Formats the message and hands it to the static log; a message that cannot be formatted
    // is replaced by the formatting error's text. No threshold is tested here.
    static void logVA(LogEventPriority priority, const wchar_t* function, const wchar_t* module,
                      const wchar_t* errorId, uint64_t threadId, const wchar_t* file,
                      unsigned int line, const wchar_t* format, va_list arguments);
    static void logVA(LogEventPriority priority, const std::wstring& function,
                      const std::wstring& module, const std::wstring& errorId, uint64_t threadId,
                      const std::wstring& file, unsigned int line, const wchar_t* format,
                      va_list arguments);

private:
    const wchar_t* module;
    const wchar_t* function;
    LogEventPriority priority;
    const wchar_t* file;
    unsigned int line;
};

// The file-name part of a path: the text behind the last '\' or '/'; the path itself without
// either; null for null.
const wchar_t* getFileBaseName(const wchar_t* path);

} // namespace krel_std
