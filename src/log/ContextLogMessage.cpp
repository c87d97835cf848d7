#include "log/ContextLogMessage.h"

#include "internal/CallerThread.h"
#include "log/LogDispatch.h"
#include "platform/VaListGuard.h"

namespace krel_std {

namespace {

const wchar_t* orEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

} // namespace

ContextLogMessage::ContextLogMessage(const wchar_t* function, LogEventPriority priority,
                                     const wchar_t* module, const wchar_t* file, unsigned int line)
    : module(orEmpty(module)), function(orEmpty(function)), priority(priority), file(orEmpty(file)),
      line(line) {}

ContextLogMessage::~ContextLogMessage() = default;

void ContextLogMessage::log(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    // The id that Thread::getCurrentThreadId gives, kept where the thread reaches it in one read.
    krel_std_internal::LogDispatch::writeFormatted(
        {priority, function, {}, {}, krel_std_internal::CallerThread::id(), file, line}, format,
        arguments);
}

void ContextLogMessage::log(LogEventPriority priority, const wchar_t* function,
                            const wchar_t* module, const wchar_t* errorId, uint64_t threadId,
                            const wchar_t* file, unsigned int line, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    logVA(priority, function, module, errorId, threadId, file, line, format, arguments);
}

void ContextLogMessage::log(LogEventPriority priority, const std::wstring& function,
                            const std::wstring& module, const std::wstring& errorId,
                            uint64_t threadId, const std::wstring& file, unsigned int line,
                            const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    logVA(priority, function, module, errorId, threadId, file, line, format, arguments);
}

void ContextLogMessage::logVA(LogEventPriority priority, const wchar_t* function, const wchar_t*,
                              const wchar_t* errorId, uint64_t threadId, const wchar_t* file,
                              unsigned int line, const wchar_t* format, va_list arguments) {
    krel_std_internal::LogDispatch::writeFormatted(
        {priority, orEmpty(function), {}, orEmpty(errorId), threadId, orEmpty(file), line}, format,
        arguments);
}

void ContextLogMessage::logVA(LogEventPriority priority, const std::wstring& function,
                              const std::wstring&, const std::wstring& errorId, uint64_t threadId,
                              const std::wstring& file, unsigned int line, const wchar_t* format,
                              va_list arguments) {
    krel_std_internal::LogDispatch::writeFormatted(
        {priority, function, {}, errorId, threadId, file, line}, format, arguments);
}

const wchar_t* getFileBaseName(const wchar_t* path) {
    if (path == nullptr) {
        return nullptr;
    }
    const wchar_t* base = path;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/') {
            base = p + 1;
        }
    }
    return base;
}

} // namespace krel_std
