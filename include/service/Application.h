// Application, the base of a native program: arguments, signals and a shutdown event.
#pragma once

#include <memory>
#include <string>

#include "service/ConsoleControlSignalTranslator.h"
#include "service/IArgumentParser.h"
#include "service/ISignalHandler.h"
#include "thread/Event.h"
#include "thread/Runnable.h"

namespace krel_std {

// The base of a native program: a command-line parser, a C signal handler, a shutdown event the
// program's work may wait on, and console control events translated into C signals.
class Application : public Runnable {
public:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    ~Application() override;

    std::wstring toString() const override;

    void run() override = 0;

    // Starts the library's static log under the given log name.
    void initializeLogging(const wchar_t* logName);

protected:
    std::unique_ptr<IArgumentParser> argumentParser;
    std::unique_ptr<ISignalHandler> signalHandler;
    // Manual reset: once signalled by a stop it stays signalled.
    Event shutdownEvent;
    // Made last: making it installs the console control handler.
    std::unique_ptr<ConsoleControlSignalTranslator> consoleTranslator;
};

} // namespace krel_std
