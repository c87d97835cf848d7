// TimeSpec, a time as seconds and nanoseconds, used as a deadline.
#pragma once

#include <cstdint>
#include <string>

namespace krel_std {

// A time as seconds and nanoseconds; used as an absolute deadline by the waits. After every
// constructor and operation 0 <= nanoseconds <= 999,999,999 (negative values borrow from the
// seconds).
class TimeSpec {
public:
    TimeSpec();
    TimeSpec(int64_t seconds, long nanoseconds);
    TimeSpec(const TimeSpec&) = default;
    TimeSpec& operator=(const TimeSpec&) = default;
    virtual ~TimeSpec();

    int64_t getSeconds() const { return seconds; }
    long getNanoseconds() const { return nanoseconds; }
    void setSeconds(int64_t seconds);
    void setNanoseconds(long nanoseconds);

    TimeSpec operator+(const TimeSpec& other) const;
    TimeSpec operator-(const TimeSpec& other) const;
    TimeSpec& operator+=(const TimeSpec& other);
    TimeSpec& operator-=(const TimeSpec& other);
    bool operator==(const TimeSpec& other) const;

    // Adds ms milliseconds; a negative value subtracts.
    void addMilliseconds(long ms);

    // The current wall-clock time.
    static TimeSpec getCurrentTime();

private:
    virtual std::wstring toString() const;

    void normalize();

    int64_t seconds;
    long nanoseconds;
};

} // namespace krel_std
