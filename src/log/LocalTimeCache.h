// The local time of the second a thread last logged in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "log/LogEvent.h"

namespace krel_std_internal {

// Converting a time to local time is costly, and the events of one thread mostly fall into the
// same second. Each thread therefore keeps the conversion of the last second it asked about,
// with the time stamp text of that second. A time zone changed through tzset is noticed. A
// thread whose state cannot be made converts every time.
class LocalTimeCache {
public:
    // Room that writeStampPrefix needs.
    static constexpr std::size_t STAMP_PREFIX_ROOM = 32;

    // One thread's conversion of one second. Plain data; zero means empty.
    struct Entry {
        bool filled;
        bool converted;
        int64_t seconds;
        long zoneOffset;
        const char* zoneName;
        const char* summerZoneName;
        std::tm local;
        std::size_t prefixLength; // 0 until the stamp text is made
        wchar_t prefix[STAMP_PREFIX_ROOM];
    };

    // The current time with the local zone's offset and daylight-saving flag.
    static krel_std::LogEventTime now();

    // Writes "2009-03-05 14:07:09:", the time stamp of `seconds` up to its milliseconds in
    // local time, to `out` (STAMP_PREFIX_ROOM characters, all of which it may overwrite) and
    // answers its length; 0 when the time cannot be converted.
    static std::size_t writeStampPrefix(int64_t seconds, wchar_t* out);
};

} // namespace krel_std_internal
