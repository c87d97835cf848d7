// The log's writers of the trace lines of base, installed when the library is loaded.

#include "base/StringUtils.h"
#include "base/TraceSink.h"
#include "base/TraceThreshold.h"
#include "exception/KrelException.h"
#include "log/LogDispatch.h"
#include "log/MessageBuffer.h"
#include "platform/VaListGuard.h"
#include "thread/Thread.h"

namespace krel_std_internal {

namespace {

LogRecord recordOf(const TraceLine& line, std::wstring_view message) {
    return {line.priority, line.function, message, {}, krel_std::Thread::getCurrentThreadId(),
            line.file,     line.line};
}

void write(const TraceLine& line, const wchar_t* message) {
    LogDispatch::write(recordOf(line, message));
}

void writeFormatted(const TraceLine& line, const wchar_t* format, va_list arguments) {
    LogDispatch::writeFormatted(recordOf(line, {}), format, arguments);
}

void reportFailure(const TraceLine& failure, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    writeFormatted(failure, format, arguments);
}

void writeFormattedOrRaw(const TraceLine& line, const TraceLine& failure, const wchar_t* format,
                         va_list arguments) {
    MessageBuffer message;
    try {
        krel_std::StringUtils::sprintfStringAppendVA(message.text(), arguments, format);
    } catch (const krel_std::KrelException& e) {
        if (LogThreshold::passes(failure.priority)) {
            reportFailure(failure, L"Error formatting message: %ls.", e.getMessage().c_str());
        }
        message.text() = format != nullptr ? format : L"";
    }
    LogDispatch::write(recordOf(line, message.text()));
}

const TraceSink::Writers WRITERS{&write, &writeFormatted, &writeFormattedOrRaw};

// Ahead of the library's other static initialisers and its load hook, whose steps may trace.
__attribute__((constructor(101))) void installTraceWriters() {
    TraceSink::install(&WRITERS);
}

} // namespace

} // namespace krel_std_internal
