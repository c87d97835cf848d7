// Several C handlers per signal, called from one handler of its own.
#pragma once

#include <atomic>
#include <map>
#include <set>

#include "service/ISignalHandler.h"

namespace krel_std {

// Keeps a set of functions per signal (ordered by address, each at most once) and installs
// one handler of its own for each signal that has any. The most recently constructed
// multi-handler receives every signal installed through any of them; once it is destroyed a
// signal finds no handler. Destroying it gives each of its signals back to SIG_DFL.
class SignalMultiHandler : public ISignalHandler {
public:
    SignalMultiHandler();
    ~SignalMultiHandler() override;

    // "SignalMultiHandler{}".
    std::wstring toString() const override;

    // Drops every function of the signal and ignores it.
    void ignoreSignal(int signal) override;
    // Drops every function of the signal and gives it the default handling.
    void useDefaultSignalHandler(int signal) override;
    // Adds the function; the first function of a signal installs the handler.
    void registerSignalHandler(int signal, SignalFunction handler) override;
    // Removes the function when the signal holds it; the last one gives SIG_DFL back.
    void deregisterSignalHandler(int signal, SignalFunction handler) override;
    // For each signal with functions, in ascending order: the virtual useDefaultSignalHandler.
    void deregisterAllSignalHandlers() override;

private:
    static void signalHandler(int signal);
    // Calls the signal's functions, from the highest address down.
    void callSignalHandlers(int signal);

    static std::atomic<SignalMultiHandler*> instance;

    std::map<int, std::set<SignalFunction>> handlers;
};

} // namespace krel_std
