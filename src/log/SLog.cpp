#include "log/SLog.h"

#include "log/LogEventPriority.h"
#include "log/StaticLog.h"
#include "platform/VaListGuard.h"
#include "platform/WinCrt.h"
#include "platform/WinNls.h"
#include "thread/AutoLock.h"
#include "thread/Thread.h"

#include <new>

namespace KrelStd {

using krel_std::AutoLock;
using krel_std::LogEventPriority;
using krel_std::StaticLog;

namespace {

const wchar_t kSeverityModule[] = L"SLog";
const wchar_t kDebugModule[] = L"SLogLevelDebug";
const wchar_t kThresholdModule[] = L"SLogThresholdDebug";
const wchar_t kFormatError[] = L"Error in printing Log Message. Please check your Log statement.\n";

std::wstring ansiText(const char* text) {
    return SWString(text, CT_ANSI, CP_ACP);
}

// The message of a wide format; the fixed error text when it cannot be filled.
std::wstring formatted(const wchar_t* format, va_list arguments) {
    std::wstring message;
    try {
        if (format != nullptr && krel_platform::formatAppendV(message, format, arguments)) {
            return message;
        }
    } catch (...) {
        // Any failure of the format gives the fixed text below.
    }
    return kFormatError;
}

// The message of a narrow format, widened from the ANSI code page.
std::wstring formatted(const char* format, va_list arguments) {
    try {
        std::string message;
        if (format != nullptr && krel_platform::formatAppendV(message, format, arguments)) {
            return ansiText(message.c_str());
        }
    } catch (...) {
        // Any failure of the format gives the fixed text below.
    }
    return kFormatError;
}

void write(LogEventPriority priority, const std::wstring& function, const std::wstring& message,
           const wchar_t* module, const std::wstring& errorId) {
    StaticLog::log(priority, function, message, module, errorId,
                   krel_std::Thread::getCurrentThreadId(), std::wstring(), 0);
}

template <typename Char>
void writeFormatted(LogEventPriority priority, const std::wstring& errorId,
                    const std::wstring& function, const wchar_t* module, const Char* format,
                    va_list arguments) {
    write(priority, function, formatted(format, arguments), module, errorId);
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
    output = formatted(format.c_str(), arguments);
}

template void SLog::FormatMessageW<SWString>(SWString&, const SWString&, va_list);

// Fatal to Info: four overloads each, with SWString or terminated texts, narrow or wide format.
#define KREL_SLOG_SEVERITY(Name, priority)                                                         \
    void SLog::Name(const SWString& errorId, const SWString& function, const char* format, ...) {  \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, errorId, function, kSeverityModule, format, arguments);           \
    }                                                                                              \
    void SLog::Name(const SWString& errorId, const SWString& function, const wchar_t* format,      \
                    ...) {                                                                         \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, errorId, function, kSeverityModule, format, arguments);           \
    }                                                                                              \
    void SLog::Name##C(const char* errorId, const char* function, const char* format, ...) {       \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, ansiText(errorId), ansiText(function), kSeverityModule, format,   \
                       arguments);                                                                 \
    }                                                                                              \
    void SLog::Name##C(const wchar_t* errorId, const wchar_t* function, const wchar_t* format,     \
                       ...) {                                                                      \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        const krel_platform::VaListGuard end(arguments);                                           \
        writeFormatted(priority, SWString(errorId), SWString(function), kSeverityModule, format,   \
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
    writeFormatted(krel_std::FATAL, errorId, function, kSeverityModule, format.c_str(), arguments);
}

void SLog::Debug(int, const SWString& function, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, std::wstring(), function, kDebugModule, format, arguments);
}

void SLog::Debug(int, const SWString& function, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, std::wstring(), function, kDebugModule, format, arguments);
}

void SLog::DebugC(int, const char* function, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, std::wstring(), ansiText(function), kDebugModule, format,
                   arguments);
}

void SLog::DebugC(int, const wchar_t* function, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    writeFormatted(krel_std::DEBUG, std::wstring(), SWString(function), kDebugModule, format,
                   arguments);
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
        writeFormatted(priority, std::wstring(), functionText, kThresholdModule, format,           \
                       arguments);                                                                 \
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
