// Where the library's trace sites in base hand their lines to the log above them.
#pragma once

#include <atomic>
#include <cstdarg>

#include "base/TracePriority.h"

namespace krel_std_internal {

// One trace line's level and the place that writes it. The texts are the caller's, valid for
// the call.
struct TraceLine {
    krel_std::LogEventPriority priority;
    const wchar_t* function;
    const wchar_t* file;
    unsigned int line;
};

// The log's writers of trace lines, installed by the log once, when the library is loaded and
// before any other static initialiser of the library runs; every writer adds the calling
// thread's id. A line written before that goes nowhere. The writers test no threshold: callers
// ask LogThreshold first.
class TraceSink {
public:
    struct Writers {
        // Writes the line with the message as given.
        void (*write)(const TraceLine& line, const wchar_t* message);
        // Formats the message printf-style and writes the line with it; a format that fails
        // gives the formatting error's text as the message.
        void (*writeFormatted)(const TraceLine& line, const wchar_t* format, va_list arguments);
        // Formats the message printf-style and writes the line with it; a format that fails is
        // reported at DEBUG, when that level is on, as a line of `failure`, and the format's own
        // text is written as the message.
        void (*writeFormattedOrRaw)(const TraceLine& line, const TraceLine& failure,
                                    const wchar_t* format, va_list arguments);
    };

    // Installs the log's writers; they live for the process.
    static void install(const Writers* writers);

    static void write(const TraceLine& line, const wchar_t* message);
    static void writeFormatted(const TraceLine& line, const wchar_t* format, ...);
    static void writeFormattedVA(const TraceLine& line, const wchar_t* format, va_list arguments);
    static void writeFormattedOrRaw(const TraceLine& line, const TraceLine& failure,
                                    const wchar_t* format, va_list arguments);

private:
    static std::atomic<const Writers*> writers;
};

} // namespace krel_std_internal
