#include "service/ConsoleControlSignalTranslator.h"

#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "log/ContextLogMessage.h"
#include "log/KrelLoggerSTD.h"
#include "log/StaticLog.h"
#include "platform/CancellationOff.h"
#include "platform/WinBase.h"
#include "platform/WinConsole.h"
#include "platform/WinSignal.h"
#include "thread/Thread.h"

namespace krel_std {

namespace {

const wchar_t* const HANDLER_CONTEXT =
    L"krel_std::ConsoleControlSignalTranslator::controlCodeHandler";

// Writes one DEBUG trace of the handler, when that threshold is on.
template <typename... Values>
void trace(unsigned int line, const wchar_t* format, Values... values) {
    if (StaticLog::isThresholdOn(DEBUG)) {
        ContextLogMessage::log(DEBUG, HANDLER_CONTEXT, L"KrelStd", L"",
                               Thread::getCurrentThreadId(), KREL_SOURCE_FILE, line, format,
                               values...);
    }
}

} // namespace

ConsoleControlSignalTranslator::ConsoleControlSignalTranslator() {
    if (!SetConsoleCtrlHandler(&ConsoleControlSignalTranslator::controlCodeHandler, TRUE)) {
        const int error = static_cast<int>(GetLastError());
        Singleton<KrelLoggerSTD>::getInstance().STD2003(
            L"krel_std::ConsoleControlSignalTranslator::ConsoleControlSignalTranslator", error,
            ErrorUtils::getErrorDescription(error));
    }
}

ConsoleControlSignalTranslator::~ConsoleControlSignalTranslator() {
    // No cancellation may unwind out of a destructor: it is off while a failure is logged.
    krel_platform::CancellationOff cancellationOff;
    try {
        if (!SetConsoleCtrlHandler(&ConsoleControlSignalTranslator::controlCodeHandler, FALSE)) {
            const int error = static_cast<int>(GetLastError());
            Singleton<KrelLoggerSTD>::getInstance().STD2004(
                L"krel_std::ConsoleControlSignalTranslator::~ConsoleControlSignalTranslator", error,
                ErrorUtils::getErrorDescription(error));
        }
    } catch (...) {
        // A destructor gives nothing back: a log that fails loses the line only.
    }
}

BOOL ConsoleControlSignalTranslator::controlCodeHandler(DWORD controlType) {
    const int type = static_cast<int>(controlType);
    switch (controlType) {
    case CTRL_C_EVENT:
        trace(__LINE__, L"Handling CTRL_C_EVENT(%d).  Translating to SIGINT(%d).", type, SIGINT);
        krel_platform::raise(SIGINT);
        break;
    case CTRL_BREAK_EVENT:
        trace(__LINE__, L"Handling CTRL_BREAK_EVENT(%d).  Translating to SIGBREAK(%d).", type,
              SIGBREAK);
        krel_platform::raise(SIGBREAK);
        break;
    case CTRL_CLOSE_EVENT:
        trace(__LINE__, L"Handling CTRL_CLOSE_EVENT(%d).  Translating to SIGINT(%d).", type,
              SIGINT);
        krel_platform::raise(SIGINT);
        break;
    case CTRL_LOGOFF_EVENT:
        trace(__LINE__, L"Handling CTRL_LOGOFF_EVENT(%d).  Ignoring.", type);
        break;
    case CTRL_SHUTDOWN_EVENT:
        trace(__LINE__, L"Handling CTRL_SHUTDOWN_EVENT(%d).  Translating to SIGINT(%d).", type,
              SIGINT);
        krel_platform::raise(SIGINT);
        break;
    default:
        trace(__LINE__, L"Unknown control code(%d).  Raising SIGILL(%d).", type, SIGILL);
        krel_platform::raise(SIGILL);
        break;
    }
    return TRUE;
}

} // namespace krel_std
