// The interface through which a program sets its C signal handlers.
#pragma once

#include "base/Object.h"

namespace krel_std {

// Sets C signal handlers (functions taking the signal number). Implementations take no lock:
// changing handlers while a signal is being delivered is the program's to avoid.
class ISignalHandler : public Object {
public:
    typedef void (*SignalFunction)(int);

    ISignalHandler();
    ISignalHandler(const ISignalHandler&) = delete;
    ISignalHandler& operator=(const ISignalHandler&) = delete;
    ~ISignalHandler() override;

    // "ISignalHandler{}".
    std::wstring toString() const override;

    virtual void ignoreSignal(int signal) = 0;
    virtual void useDefaultSignalHandler(int signal) = 0;
    virtual void registerSignalHandler(int signal, SignalFunction handler) = 0;
    virtual void deregisterSignalHandler(int signal, SignalFunction handler) = 0;
    virtual void deregisterAllSignalHandlers() = 0;
};

} // namespace krel_std
