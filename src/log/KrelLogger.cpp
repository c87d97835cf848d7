#include "log/KrelLogger.h"

#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelException.h"
#include "log/ContextLogMessage.h"
#include "log/StaticLog.h"
#include "platform/VaListGuard.h"
#include "thread/Thread.h"

namespace krel_std {

namespace {

const wchar_t* const SEPARATOR = L"::";

} // namespace

KrelLogger::KrelLogger() = default;

KrelLogger::~KrelLogger() = default;

// The level methods share one body; the va_list is released whatever the body throws.
#define KREL_LOGGER_LEVEL_METHOD(name, priority)                                                   \
    void KrelLogger::name(const KrelStd::SWString& code, const KrelStd::SWString& context,         \
                          const wchar_t* format, ...) const {                                      \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        krel_platform::VaListGuard endArguments(arguments);                                        \
        logMessage(priority, L"krel_std::KrelLogger::" #name, code, context, format, arguments);   \
    }

KREL_LOGGER_LEVEL_METHOD(Fatal, FATAL)
KREL_LOGGER_LEVEL_METHOD(Error, ERROR)
KREL_LOGGER_LEVEL_METHOD(Warn, WARN)
KREL_LOGGER_LEVEL_METHOD(Info, INFO)

#undef KREL_LOGGER_LEVEL_METHOD

// A message that cannot be formatted is never lost: its raw format text is logged instead.
void KrelLogger::logMessage(LogEventPriority priority, const wchar_t* levelFunction,
                            const KrelStd::SWString& code, const KrelStd::SWString& context,
                            const wchar_t* format, va_list arguments) const {
    const uint64_t threadId = Thread::getCurrentThreadId();
    std::wstring message;
    try {
        StringUtils::sprintfStringAppendVA(message, arguments, format);
    } catch (KrelException& e) {
        if (StaticLog::isThresholdOn(DEBUG)) {
            ContextLogMessage::log(DEBUG, levelFunction, L"KrelStd", L"", threadId,
                                   KREL_SOURCE_FILE, __LINE__, L"Error formatting message: %ls.",
                                   e.getMessage().c_str());
        }
        message = format != nullptr ? format : L"";
    }
    StaticLog::log(priority, getQualifiedFunctionName(context), message, getModuleName(),
                   getFunctionName(code), threadId, L"", 0);
}

std::wstring KrelLogger::getQualifiedFunctionName(const std::wstring& text) {
    const size_t last = text.rfind(SEPARATOR);
    if (last == std::wstring::npos) {
        return text;
    }
    const size_t previous = last >= 2 ? text.rfind(SEPARATOR, last - 2) : std::wstring::npos;
    const size_t start = previous == std::wstring::npos ? last : previous;
    return text.substr(start + 2);
}

std::wstring KrelLogger::getFunctionName(const std::wstring& text) {
    const size_t last = text.rfind(SEPARATOR);
    return last == std::wstring::npos ? text : text.substr(last + 2);
}

} // namespace krel_std
