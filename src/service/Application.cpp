#include "service/Application.h"

#include "log/StaticLog.h"
#include "service/ArgumentParser.h"
#include "service/SignalHandler.h"

namespace krel_std {

Application::Application()
    : argumentParser(new ArgumentParser()), signalHandler(new SignalHandler()),
      shutdownEvent(false, false), consoleTranslator(new ConsoleControlSignalTranslator()) {}

Application::~Application() {
    // The parser goes first, then the signal handler (giving every signal it touched back to the
    // default handling), then the console control handler; the shutdown event goes last.
    argumentParser.reset();
    signalHandler.reset();
    consoleTranslator.reset();
}

std::wstring Application::toString() const {
    return L"Application{}";
}

void Application::initializeLogging(const wchar_t* logName) {
    StaticLog::initInstance(logName);
}

} // namespace krel_std
