#include "thread/TimeSpec.h"

#include <ctime>

namespace krel_std {

namespace {
const long NANOS_PER_SECOND = 1000000000L;
const long NANOS_PER_MILLI = 1000000L;
} // namespace

TimeSpec::TimeSpec() : seconds(0), nanoseconds(0) {}

TimeSpec::TimeSpec(int64_t seconds, long nanoseconds) : seconds(seconds), nanoseconds(nanoseconds) {
    normalize();
}

TimeSpec::~TimeSpec() {}

void TimeSpec::setSeconds(int64_t value) {
    seconds = value;
    normalize();
}

void TimeSpec::setNanoseconds(long value) {
    nanoseconds = value;
    normalize();
}

TimeSpec TimeSpec::operator+(const TimeSpec& other) const {
    TimeSpec sum(*this);
    sum += other;
    return sum;
}

TimeSpec TimeSpec::operator-(const TimeSpec& other) const {
    TimeSpec difference(*this);
    difference -= other;
    return difference;
}

TimeSpec& TimeSpec::operator+=(const TimeSpec& other) {
    seconds += other.seconds;
    nanoseconds += other.nanoseconds;
    normalize();
    return *this;
}

TimeSpec& TimeSpec::operator-=(const TimeSpec& other) {
    seconds -= other.seconds;
    nanoseconds -= other.nanoseconds;
    normalize();
    return *this;
}

bool TimeSpec::operator==(const TimeSpec& other) const {
    return seconds == other.seconds && nanoseconds == other.nanoseconds;
}

void TimeSpec::addMilliseconds(long ms) {
    seconds += ms / 1000;
    nanoseconds += (ms % 1000) * NANOS_PER_MILLI;
    normalize();
}

TimeSpec TimeSpec::getCurrentTime() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return TimeSpec(now.tv_sec, now.tv_nsec);
}

std::wstring TimeSpec::toString() const {
    return L"TimeSpec{seconds=" + std::to_wstring(seconds) + L",nanoseconds=" +
           std::to_wstring(nanoseconds) + L"}";
}

// Floor division: any nanoseconds value, however large or negative, moves into the seconds in
// one step, leaving 0 <= nanoseconds < 1,000,000,000.
void TimeSpec::normalize() {
    long carry = nanoseconds / NANOS_PER_SECOND;
    long rest = nanoseconds % NANOS_PER_SECOND;
    if (rest < 0) {
        rest += NANOS_PER_SECOND;
        --carry;
    }
    seconds += carry;
    nanoseconds = rest;
}

} // namespace krel_std
