#include "service/SignalMultiHandler.h"

#include "platform/WinSignal.h"

namespace krel_std {

std::atomic<SignalMultiHandler*> SignalMultiHandler::instance{nullptr};

SignalMultiHandler::SignalMultiHandler() {
    instance.store(this);
}

// A signal that arrives later finds no handler rather than this object.
SignalMultiHandler::~SignalMultiHandler() {
    SignalMultiHandler* self = this;
    instance.compare_exchange_strong(self, nullptr);
    deregisterAllSignalHandlers();
}

std::wstring SignalMultiHandler::toString() const {
    return L"SignalMultiHandler{}";
}

void SignalMultiHandler::ignoreSignal(int signal) {
    handlers.erase(signal);
    krel_platform::signal(signal, SIG_IGN);
}

void SignalMultiHandler::useDefaultSignalHandler(int signal) {
    handlers.erase(signal);
    krel_platform::signal(signal, SIG_DFL);
}

void SignalMultiHandler::registerSignalHandler(int signal, SignalFunction handler) {
    auto entry = handlers.find(signal);
    if (entry != handlers.end()) {
        entry->second.insert(handler);
        return;
    }
    handlers[signal].insert(handler);
    krel_platform::signal(signal, &SignalMultiHandler::signalHandler);
}

void SignalMultiHandler::deregisterSignalHandler(int signal, SignalFunction handler) {
    auto entry = handlers.find(signal);
    if (entry == handlers.end() || entry->second.erase(handler) == 0) {
        return;
    }
    if (entry->second.empty()) {
        handlers.erase(entry);
        krel_platform::signal(signal, SIG_DFL);
    }
}

void SignalMultiHandler::deregisterAllSignalHandlers() {
    std::set<int> signals;
    for (const auto& entry : handlers) {
        signals.insert(entry.first);
    }
    for (int signal : signals) {
        useDefaultSignalHandler(signal);
    }
}

void SignalMultiHandler::signalHandler(int signal) {
    SignalMultiHandler* target = instance.load();
    if (target != nullptr) {
        target->callSignalHandlers(signal);
    }
}

// The functions are copied first, so one may deregister itself while it runs.
void SignalMultiHandler::callSignalHandlers(int signal) {
    auto entry = handlers.find(signal);
    if (entry == handlers.end()) {
        return;
    }
    const std::set<SignalFunction> functions = entry->second;
    for (auto function = functions.rbegin(); function != functions.rend(); ++function) {
        (*function)(signal);
    }
}

} // namespace krel_std
