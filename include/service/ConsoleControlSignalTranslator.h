// Turns console control events into C signals, so that a program handles both in one place.
#pragma once

#include "platform/WinTypes.h"

namespace krel_std {

// Installs, for its whole life, the console control handler that raises the matching C
// signal: Ctrl-C, close and shutdown raise SIGINT, Ctrl-Break SIGBREAK, logoff nothing, and an
// unknown control type SIGILL. Failures to install or remove the handler are logged (STD2003,
// STD2004) and otherwise ignored.
class ConsoleControlSignalTranslator {
public:
    ConsoleControlSignalTranslator();
    ConsoleControlSignalTranslator(const ConsoleControlSignalTranslator&) = delete;
    ConsoleControlSignalTranslator& operator=(const ConsoleControlSignalTranslator&) = delete;
    virtual ~ConsoleControlSignalTranslator();

    // The console control handler: traces the event at DEBUG, raises its signal on the calling
    // thread and answers TRUE, so no further console control handler is called.
    static BOOL controlCodeHandler(DWORD controlType);
};

} // namespace krel_std
