#include "log/SLog.h"

#include <new>

#include "internal/GuardedCall.h"
#include "log/LogEventPriority.h"
#include "log/MessageBuffer.h"
#include "log/StaticLog.h"
#include "platform/VaListGuard.h"
#include "platform/WinCrt.h"
#include "platform/WinNls.h"
#include "thread/AutoLock.h"
#include "thread/Thread.h"

namespace KrelStd {

using krel_std::AutoLock;
using krel_std::LogEventPriority;
using krel_std::StaticLog;

namespace {

const wchar_t FORMAT_ERROR[] = L"Error in printing Log Message. Please check your Log statement.\n";

// The module texts of the log calls, made once and kept for the process, so that a call does
// not build them again.
const std::wstring& processText(const wchar_t* text) {
    return *new std::wstring(text);
}
const std::wstring& severityModule() {
    static const std::wstring& text = processText(L"SLog");
    return text;
}
const std::wstring& debugModule() {
    static const std::wstring& text = processText(L"SLogLevelDebug");
    return text;
}
const std::wstring& thresholdModule() {
    static const std::wstring& text = processText(L"SLogThresholdDebug");
    return text;
}
const std::wstring& noText() {
    static const std::wstring& text = processText(L"");
    return text;
}

std::wstring ansiText(const char* text) {
    return SWString(text, CT_ANSI, CP_ACP);
}

// Fills message (empty) from a wide format; the fixed error text when it cannot be filled.
void fill(std::wstring& message, const wchar_t* format, va_list arguments) {
    // Any failure of the format gives the fixed text.
    const bool filled = krel_std_internal::callSwallowing(
        [&] {
            return format != nullptr && krel_platform::formatAppendV(message, format, arguments);
        },
        [] { return false; });
    if (!filled) {
        message.assign(FORMAT_ERROR);
    }
}

// Fills message from a narrow format, widened from the ANSI code page.
void fill(std::wstring& message, const char* format, va_list arguments) {
    // Any failure of the format gives the fixed text.
    const bool filled = krel_std_internal::callSwallowing(
        [&] {
            std::string text;
            if (format == nullptr || !krel_platform::formatAppendV(text, format, arguments)) {
                return false;
            }
            message.assign(ansiText(text.c_str()));
            return true;
        },
        [] { return false; });
    if (!filled) {
        message.assign(FORMAT_ERROR);
    }
}

// Formats the message into the thread's message buffer and hands the call to the static log.
template <typename Char>
void writeFormatted(LogEventPriority priority, const std::wstring& errorId,
                    const std::wstring& function, const std::wstring& module, const Char* format,
                    va_list arguments) {
    krel_std_internal::MessageBuffer message;
    fill(message.text(), format, arguments);
    StaticLog::log(priority, function, message.text(), module, errorId,
                   krel_std::Thread::getCurrentThreadId(), noText(), 0);
}

} // namespace

SLog* SLog::defaultLog = nullptr;
SLog* SLog::emptyLog = nullptr;

krel_std::Lock& SLog::defaultLogLock() {
    static krel_std::Lock& lock = *new krel_std::Lock();
    return lock;
}

krel_std::Lock& SLog::emptyLogLock() {
    static krel_std::Lock& lock = *new krel_std::Lock();
    return lock;
}

SLog::SLog() : initialized(false) {}

SLog::SLog(const SLog& other) : initialized(other.initialized) {}

SLog::~SLog() {
    try {
        const AutoLock<krel_std::Lock> guard(lock);
        {
            const AutoLock<krel_std::Lock> emptyGuard(emptyLogLock());
            if (emptyLog == this) {
                emptyLog = nullptr;
            }
        }
        const AutoLock<krel_std::Lock> defaultGuard(defaultLogLock());
        if (defaultLog == this) {
            defaultLog = nullptr;
        }
    } catch (...) {
        // A destructor must not throw; the locks fail only when resources run out.
    }
}

bool SLog::Init(const SWString&, const SWString&) {
    return Init();
}

bool SLog::Init() {
    const AutoLock<krel_std::Lock> guard(lock);
    initialized = true;
    return true;
}

bool SLog::Init(const SFilePath&, const SFilePath&, const SFilePath&, bool, bool) {
    return Init();
}

void SLog::Close() {}

bool SLog::IsInitialized() const {
    return initialized;
}

SLog* SLog::GetDefaultLog() {
    const AutoLock<krel_std::Lock> guard(defaultLogLock());
    if (defaultLog == nullptr) {
        const AutoLock<krel_std::Lock> emptyGuard(emptyLogLock());
        if (emptyLog == nullptr) {
            emptyLog = new SLog();
        }
        defaultLog = emptyLog;
    }
    return defaultLog;
}

void SLog::SetDefaultLog(SLog* log) {
    const AutoLock<krel_std::Lock> guard(defaultLogLock());
    defaultLog = log;
}

bool SLog::IsDefaultLogEmpty() {
    const AutoLock<krel_std::Lock> guard(defaultLogLock());
    return defaultLog == nullptr || defaultLog == emptyLog;
}

template <typename Text>
void SLog::FormatMessageW(Text& output, const Text& format, va_list arguments) {
    std::wstring message;
    fill(message, format.c_str(), arguments);
    output = message;
}

template void SLog::FormatMessageW<SWString>(SWString&, const SWString&, va_list);

// Fatal to Info: four overloads each, with SWString or terminated texts, narrow or wide format.
#define KREL_SLOG_SEVERITY(Name, priority)                                                         \
    void SLog::Name(const SWString& errorId, const SWString& function, const char* format, ...) {  \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, errorId, function, severityModule(), format, arguments);          \
    }                                                                                              \
    void SLog::Name(const SWString& errorId, const SWString& function, const wchar_t* format,      \
                    ...) {                                                                         \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, errorId, function, severityModule(), format, arguments);          \
    }                                                                                              \
    void SLog::Name##C(const char* errorId, const char* function, const char* format, ...) {       \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, ansiText(errorId), ansiText(function), severityModule(), format,  \
                       arguments);                                                                 \
    }                                                                                              \
    void SLog::Name##C(const wchar_t* errorId, const wchar_t* function, const wchar_t* format,     \
                       ...) {                                                                      \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, SWString(errorId), SWString(function), severityModule(), format,  \
                       arguments);                                                                 \
    }

KREL_SLOG_SEVERITY(Fatal, krel_std::FATAL)
KREL_SLOG_SEVERITY(Error, krel_std::ERROR)
KREL_SLOG_SEVERITY(Major, krel_std::ERROR)
KREL_SLOG_SEVERITY(Warn, krel_std::WARN)
KREL_SLOG_SEVERITY(Minor, krel_std::WARN)
KREL_SLOG_SEVERITY(Info, krel_std::INFO)

#undef KREL_SLOG_SEVERITY

void SLog::Fatal(const SWString& errorId, const SWString& function, SWString format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::FATAL, errorId, function, severityModule(), format.c_str(), arguments);
}

void SLog::Debug(int, const SWString& function, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, noText(), function, debugModule(), format, arguments);
}

void SLog::Debug(int, const SWString& function, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, noText(), function, debugModule(), format, arguments);
}

void SLog::DebugC(int, const char* function, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, noText(), ansiText(function), debugModule(), format, arguments);
}

void SLog::DebugC(int, const wchar_t* function, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, noText(), SWString(function), debugModule(), format, arguments);
}

// Trace and the Thresh family: written only when the threshold lets their priority through,
// and formatted only then.
#define KREL_SLOG_THRESHOLD(Name, FunctionType, functionText, FormatType, priority)                \
    void SLog::Name(FunctionType function, FormatType format, ...) {                               \
        if (!StaticLog::isThresholdOn(priority)) {                                                 \
            return;                                                                                \
        }                                                                                          \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, noText(), functionText, thresholdModule(), format, arguments);    \
    }

KREL_SLOG_THRESHOLD(Trace, const SWString&, function, const char*, krel_std::TRACE)
KREL_SLOG_THRESHOLD(Trace, const SWString&, function, const wchar_t*, krel_std::TRACE)
KREL_SLOG_THRESHOLD(TraceC, const char*, ansiText(function), const char*, krel_std::TRACE)
KREL_SLOG_THRESHOLD(TraceC, const char*, ansiText(function), const wchar_t*, krel_std::TRACE)
KREL_SLOG_THRESHOLD(ThreshDebug, const wchar_t*, SWString(function), const wchar_t*,
                    krel_std::DEBUG)
KREL_SLOG_THRESHOLD(ThreshCall, const wchar_t*, SWString(function), const wchar_t*, krel_std::CALL)
KREL_SLOG_THRESHOLD(ThreshTrace, const wchar_t*, SWString(function), const wchar_t*,
                    krel_std::TRACE)
KREL_SLOG_THRESHOLD(ThreshDump, const wchar_t*, SWString(function), const wchar_t*, krel_std::DUMP)

#undef KREL_SLOG_THRESHOLD

bool SLog::IsDebugOn() {
    return StaticLog::isThresholdOn(krel_std::DEBUG);
}

bool SLog::IsDebugThresholdOn(thresholdEnumType threshold) {
    switch (threshold) {
    case DEBUG_THRESHOLD:
        return StaticLog::isThresholdOn(krel_std::DEBUG);
    case CALL_THRESHOLD:
        return StaticLog::isThresholdOn(krel_std::CALL);
    case TRACE_THRESHOLD:
        return StaticLog::isThresholdOn(krel_std::TRACE);
    default:
        return StaticLog::isThresholdOn(krel_std::DUMP);
    }
}

bool SLog::IsDebugLevelOn(int) {
    return true;
}

SWString SLog::GetThreshold() {
    return SWString();
}

void SLog::SetThreshold(const SWString&) {}
void SLog::SetDebugRange(int, int) {}
void SLog::SetDebugLevel(int) {}
void SLog::SetCallThresholdRange(int, int) {}
void SLog::SetTraceThresholdRange(int, int) {}
void SLog::SetDumpThresholdRange(int, int) {}
void SLog::SetDebugThresholdRange(int, int) {}
void SLog::SetProgName(const SWString&) {}
void SLog::SetDbgFileSize(int) {}
void SLog::SetLogFileSize(int) {}
void SLog::SetDbgFiles(int) {}
void SLog::SetLogFiles(int) {}
void SLog::AddAppender(const SWString&) {}
void SLog::RemoveAppender(const SWString&) {}
void SLog::DisableNTEventLogging() {}
void SLog::EnableOutputDebugAppending() {}
void SLog::DisableOutputDebugAppending() {}

bool SLog::EnableNTEventLogging(const SWString&) {
    return true;
}

bool SLog::StartCfgFileMonitoring() {
    return true;
}

bool SLog::StopCfgFileMonitoring() {
    return true;
}

bool SLog::AddVersionModule(const SWString&) {
    return true;
}

bool SLog::DeleteVersionModule(const SWString&) {
    return true;
}

int SLog::GetDbgFileSize() {
    return 0;
}

int SLog::GetLogFileSize() {
    return 0;
}

int SLog::GetDbgFiles() {
    return 0;
}

int SLog::GetLogFiles() {
    return 0;
}

} // namespace KrelStd
