// The library's own trace lines at DEBUG, CALL, TRACE and DUMP. The logging functions test no
// threshold: callers ask the matching _on function first and build the arguments only then.
#pragma once

#include "log/LogThreshold.h"

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
