#include "service/SignalHandler.h"

#include "platform/WinSignal.h"

namespace krel_std {

SignalHandler::SignalHandler() = default;

SignalHandler::~SignalHandler() {
    deregisterAllSignalHandlers();
}

std::wstring SignalHandler::toString() const {
    return L"SignalHandler{}";
}

void SignalHandler::ignoreSignal(int signal) {
    krel_platform::signal(signal, SIG_IGN);
    signals.insert(signal);
}

void SignalHandler::useDefaultSignalHandler(int signal) {
    krel_platform::signal(signal, SIG_DFL);
    signals.erase(signal);
}

void SignalHandler::registerSignalHandler(int signal, SignalFunction handler) {
    krel_platform::signal(signal, handler);
    signals.insert(signal);
}

void SignalHandler::deregisterSignalHandler(int signal) {
    ISignalHandler& self = *this;
    self.deregisterSignalHandler(signal, nullptr);
}

void SignalHandler::deregisterSignalHandler(int signal, SignalFunction /*handler*/) {
    useDefaultSignalHandler(signal);
}

void SignalHandler::deregisterAllSignalHandlers() {
    const std::set<int> changed = signals;
    for (int signal : changed) {
        useDefaultSignalHandler(signal);
    }
}

} // namespace krel_std
