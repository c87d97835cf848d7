#include "log/LocalTimeCache.h"

#include <chrono>
#include <cstring>
#include <cwchar>

#include "log/DecimalDigits.h"
#include "log/LogThreadState.h"

namespace krel_std_internal {

namespace {

// The entry of `seconds`: the thread's own, converted again when it holds another second or
// zone (the zone globals that tzset sets are part of the key), or `scratch` filled now.
LocalTimeCache::Entry& entryOf(int64_t seconds, LocalTimeCache::Entry& scratch) {
    LogThreadState* state = LogThreadState::current();
    if (state == nullptr) {
        scratch = LocalTimeCache::Entry{};
    }
    LocalTimeCache::Entry& entry = state != nullptr ? state->time : scratch;
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
    return entry;
}

// Writes `value` with at least `digits` digits and then `separator`.
wchar_t* writeField(wchar_t* out, long long value, std::size_t digits, wchar_t separator) {
    out = writeDecimal(out, value, digits);
    *out++ = separator;
    return out;
}

// The fields of a converted time are in range: two digits each, the year at most eleven
// characters, so the text fits the entry's room.
void makeStampPrefix(LocalTimeCache::Entry& entry) {
    wchar_t text[6 * kDecimalRoom + 16];
    wchar_t* out = text;
    out = writeField(out, entry.local.tm_year + 1900LL, 1, L'-');
    out = writeField(out, entry.local.tm_mon + 1, 2, L'-');
    out = writeField(out, entry.local.tm_mday, 2, L' ');
    out = writeField(out, entry.local.tm_hour, 2, L':');
    out = writeField(out, entry.local.tm_min, 2, L':');
    out = writeField(out, entry.local.tm_sec, 2, L':');
    entry.prefixLength = static_cast<std::size_t>(out - text);
    std::wmemcpy(entry.prefix, text, entry.prefixLength);
}

} // namespace

std::size_t LocalTimeCache::writeStampPrefix(int64_t seconds, wchar_t* out) {
    Entry scratch;
    Entry& entry = entryOf(seconds, scratch);
    if (!entry.converted) {
        return 0;
    }
    if (entry.prefixLength == 0) {
        makeStampPrefix(entry);
    }
    // The whole room in one move of a fixed size, which needs no call; what lies beyond the
    // length is left for the caller to overwrite.
    std::memcpy(out, entry.prefix, sizeof entry.prefix);
    return entry.prefixLength;
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
    Entry scratch;
    const Entry& entry = entryOf(seconds, scratch);
    if (entry.converted) {
        time.timezone = static_cast<int16_t>(-entry.local.tm_gmtoff / 60);
        time.dstflag = static_cast<int16_t>(entry.local.tm_isdst > 0 ? 1 : 0);
    }
    return time;
}

} // namespace krel_std_internal
