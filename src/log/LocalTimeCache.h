// The local time of the second a thread last logged in.
#pragma once

#include "log/LogEvent.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace krel_std_internal {

/// Converting a time to local time is costly, and the events of one thread mostly fall into the
/// same second. Each thread therefore keeps the conversion of the last second it asked about,
/// with the time stamp text of that second. A time zone changed through tzset is noticed.
class LocalTimeCache {
public:
    /// The current time with the local zone's offset and daylight-saving flag.
    static krel_std::LogEventTime now();

    /// The local time of `seconds`, or null when it cannot be converted. Valid until the
    /// calling thread's next call.
    static const std::tm* localTime(int64_t seconds);

    /// "2009-03-05 14:07:09:", the time stamp of `seconds` up to its milliseconds, in local
    /// time; null when the time cannot be converted. `length` receives the text's length.
    static const wchar_t* stampPrefix(int64_t seconds, std::size_t& length);
};

} // namespace krel_std_internal
