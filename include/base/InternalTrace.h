// The library's own trace lines at DEBUG, CALL, TRACE and DUMP. The logging functions test no
// threshold: callers ask the matching _on function first and build the arguments only then.
#pragma once

#include "base/LogFunctionCall.h"
#include "base/TracePriority.h"
#include "base/TraceThreshold.h"

namespace krel_std {

// The static log's threshold test for each level, answered inline.
inline bool __internal_debug_on() {
    return krel_std_internal::LogThreshold::passes(DEBUG);
}
inline bool __internal_call_on() {
    return krel_std_internal::LogThreshold::passes(CALL);
}
inline bool __internal_trace_on() {
    return krel_std_internal::LogThreshold::passes(TRACE);
}
inline bool __internal_dump_on() {
    return krel_std_internal::LogThreshold::passes(DUMP);
}

void __internal_debug(const wchar_t* function, const wchar_t* file, unsigned int line,
                      const wchar_t* format, ...);
void __internal_call(const wchar_t* function, const wchar_t* file, unsigned int line,
                     const wchar_t* format, ...);
void __internal_trace(const wchar_t* function, const wchar_t* file, unsigned int line,
                      const wchar_t* format, ...);
void __internal_dump(const wchar_t* function, const wchar_t* file, unsigned int line,
                     const wchar_t* format, ...);

} // namespace krel_std

// A trace line at DEBUG, CALL, TRACE or DUMP in the function's context, credited to the given
// file and line (a caller's, or a fixed line that readers of the log match on); the format's
// arguments are only evaluated when the level is on.
#define KREL_INTERNAL_DEBUG_AT(function, file, line, ...)                                          \
    do {                                                                                           \
        if (::krel_std::__internal_debug_on()) {                                                   \
            ::krel_std::__internal_debug((function), (file), (line), __VA_ARGS__);                 \
        }                                                                                          \
    } while (0)
#define KREL_INTERNAL_CALL_AT(function, file, line, ...)                                           \
    do {                                                                                           \
        if (::krel_std::__internal_call_on()) {                                                    \
            ::krel_std::__internal_call((function), (file), (line), __VA_ARGS__);                  \
        }                                                                                          \
    } while (0)
#define KREL_INTERNAL_TRACE_AT(function, file, line, ...)                                          \
    do {                                                                                           \
        if (::krel_std::__internal_trace_on()) {                                                   \
            ::krel_std::__internal_trace((function), (file), (line), __VA_ARGS__);                 \
        }                                                                                          \
    } while (0)
#define KREL_INTERNAL_DUMP_AT(function, file, line, ...)                                           \
    do {                                                                                           \
        if (::krel_std::__internal_dump_on()) {                                                    \
            ::krel_std::__internal_dump((function), (file), (line), __VA_ARGS__);                  \
        }                                                                                          \
    } while (0)

// The same, credited to the calling file and line.
#define KREL_INTERNAL_DEBUG(function, ...)                                                         \
    KREL_INTERNAL_DEBUG_AT(function, KREL_SOURCE_FILE, __LINE__, __VA_ARGS__)
#define KREL_INTERNAL_CALL(function, ...)                                                          \
    KREL_INTERNAL_CALL_AT(function, KREL_SOURCE_FILE, __LINE__, __VA_ARGS__)
#define KREL_INTERNAL_TRACE(function, ...)                                                         \
    KREL_INTERNAL_TRACE_AT(function, KREL_SOURCE_FILE, __LINE__, __VA_ARGS__)
#define KREL_INTERNAL_DUMP(function, ...)                                                          \
    KREL_INTERNAL_DUMP_AT(function, KREL_SOURCE_FILE, __LINE__, __VA_ARGS__)
