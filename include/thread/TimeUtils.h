// TimeUtils, clock readings and local-time texts.
#pragma once

#include <cstdint>
#include <string>

namespace krel_std {

// Clock readings and local-time texts. Milliseconds values count from 1970-01-01 00:00:00 UTC.
class TimeUtils {
public:
    static uint64_t getCurrentTimeMs();
    // Local weekday, 0 = Sunday to 6 = Saturday; -1 when the time cannot be converted.
    static int getCurrentWeekday();
    static int getWeekdayForTimeMs(uint64_t ms);
    // Local time as "2009-03-07 14:05:09.042"; empty when the time cannot be converted.
    static std::wstring getCurrentTimestamp();
    static std::wstring getTimestampForTimeMs(uint64_t ms);
    // Names of the standard-time and daylight-time zones, re-read from the settings.
    static std::wstring getTimezone();
    static std::wstring getDSTZone();
    // Formats the local time of ms with wcsftime; "%s" in the format stands for the
    // milliseconds in plain decimal. Throws KrelIllegalArgumentException when the result is
    // empty or longer than 2047 characters.
    static std::wstring formatTime(const wchar_t* format, uint64_t ms);

private:
    TimeUtils();
    ~TimeUtils();
};

} // namespace krel_std
