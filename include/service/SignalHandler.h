// One C handler per signal, set directly with the runtime's signal.
#pragma once

#include <set>

#include "service/ISignalHandler.h"

namespace krel_std {

// Keeps the signals whose handling it changed and gives each back to the default handling
// when it is destroyed. Signals changed again by other code afterwards are not tracked.
class SignalHandler : public ISignalHandler {
public:
    SignalHandler();
    // deregisterAllSignalHandlers().
    ~SignalHandler() override;

    // "SignalHandler{}".
    std::wstring toString() const override;

    void ignoreSignal(int signal) override;
    void useDefaultSignalHandler(int signal) override;
    // Replaces whatever handled the signal.
    void registerSignalHandler(int signal, SignalFunction handler) override;
    // The virtual deregisterSignalHandler(signal, null).
    void deregisterSignalHandler(int signal);
    // For each changed signal, in ascending order: the virtual useDefaultSignalHandler.
    void deregisterAllSignalHandlers() override;

private:
    // The virtual useDefaultSignalHandler(signal); the handler is not looked at.
    void deregisterSignalHandler(int signal, SignalFunction handler) override;

    std::set<int> signals;
};

} // namespace krel_std
