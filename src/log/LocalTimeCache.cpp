#include "log/LocalTimeCache.h"

#include "log/DecimalDigits.h"

#include <chrono>

namespace krel_std_internal {

namespace {

// One thread's conversion of one second. The zone globals that tzset sets are part of the key,
// so a changed zone converts again. Plain data, zero at thread start: nothing to construct or
// destroy per thread.
struct CachedSecond {
    bool filled;
    int64_t seconds;
    long zoneOffset;
    const char* zoneName;
    const char* summerZoneName;
    bool converted;
    std::tm local;
    std::size_t prefixLength; ///< 0 until the stamp text is made
    wchar_t prefix[6 * kDecimalRoom + 16];
};

thread_local CachedSecond cached;

// Writes `value` with at least `digits` digits and then `separator`.
wchar_t* writeField(wchar_t* out, long long value, std::size_t digits, wchar_t separator) {
    out = writeDecimal(out, value, digits);
    *out++ = separator;
    return out;
}

// The local time of `seconds` from the thread's entry, converted when the entry holds another
// second or zone.
const std::tm* convert(CachedSecond& entry, int64_t seconds) {
    if (!entry.filled || entry.seconds != seconds || entry.zoneOffset != ::timezone ||
        entry.zoneName != ::tzname[0] || entry.summerZoneName != ::tzname[1]) {
        const std::time_t asTimeT = static_cast<std::time_t>(seconds);
        entry.converted = localtime_r(&asTimeT, &entry.local) != nullptr;
        // Read after the conversion, which sets them on its first use.
        entry.zoneOffset = ::timezone;
        entry.zoneName = ::tzname[0];
        entry.summerZoneName = ::tzname[1];
        entry.seconds = seconds;
        entry.prefixLength = 0;
        entry.filled = true;
    }
    return entry.converted ? &entry.local : nullptr;
}

} // namespace

const std::tm* LocalTimeCache::localTime(int64_t seconds) {
    return convert(cached, seconds);
}

const wchar_t* LocalTimeCache::stampPrefix(int64_t seconds, std::size_t& length) {
    CachedSecond& entry = cached;
    const std::tm* local = convert(entry, seconds);
    if (local == nullptr) {
        return nullptr;
    }
    if (entry.prefixLength == 0) {
        wchar_t* out = entry.prefix;
        out = writeField(out, local->tm_year + 1900LL, 1, L'-');
        out = writeField(out, local->tm_mon + 1, 2, L'-');
        out = writeField(out, local->tm_mday, 2, L' ');
        out = writeField(out, local->tm_hour, 2, L':');
        out = writeField(out, local->tm_min, 2, L':');
        out = writeField(out, local->tm_sec, 2, L':');
        entry.prefixLength = static_cast<std::size_t>(out - entry.prefix);
    }
    length = entry.prefixLength;
    return entry.prefix;
}

krel_std::LogEventTime LocalTimeCache::now() {
    using namespace std::chrono;
    const auto millis = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    int64_t seconds = millis / 1000;
    int64_t rest = millis % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    krel_std::LogEventTime time;
    time.time = seconds;
    time.millitm = static_cast<uint16_t>(rest);
    if (const std::tm* local = localTime(seconds)) {
        time.timezone = static_cast<int16_t>(-local->tm_gmtoff / 60);
        time.dstflag = static_cast<int16_t>(local->tm_isdst > 0 ? 1 : 0);
    }
    return time;
}

} // namespace krel_std_internal
