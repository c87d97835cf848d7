#include "base/TraceSink.h"

#include "platform/VaListGuard.h"

namespace krel_std_internal {

// Constant-initialised, so a trace made before the log installs its writers finds none.
std::atomic<const TraceSink::Writers*> TraceSink::writers{nullptr};

void TraceSink::install(const Writers* installed) {
    writers.store(installed, std::memory_order_release);
}

void TraceSink::write(const TraceLine& line, const wchar_t* message) {
    if (const Writers* current = writers.load(std::memory_order_acquire)) {
        current->write(line, message);
    }
}

void TraceSink::writeFormatted(const TraceLine& line, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    writeFormattedVA(line, format, arguments);
}

void TraceSink::writeFormattedVA(const TraceLine& line, const wchar_t* format, va_list arguments) {
    if (const Writers* current = writers.load(std::memory_order_acquire)) {
        current->writeFormatted(line, format, arguments);
    }
}

void TraceSink::writeFormattedOrRaw(const TraceLine& line, const TraceLine& failure,
                                    const wchar_t* format, va_list arguments) {
    if (const Writers* current = writers.load(std::memory_order_acquire)) {
        current->writeFormattedOrRaw(line, failure, format, arguments);
    }
}

} // namespace krel_std_internal
