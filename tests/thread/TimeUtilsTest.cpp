#include "thread/TimeUtils.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "exception/KrelIllegalArgumentException.h"
#include "support/UtcZoneTest.h"
#include "thread/TimeSpec.h"

using namespace krel_std;

namespace {

void expectTime(int64_t seconds, long nanoseconds, const TimeSpec& time) {
    EXPECT_EQ(seconds, time.getSeconds());
    EXPECT_EQ(nanoseconds, time.getNanoseconds());
}

TEST(TimeSpecTest, ExcessNanosecondsCarryIntoSeconds) {
    expectTime(2, 500000000, TimeSpec(1, 1500000000));
    expectTime(1000000001, 0, TimeSpec(1, 1000000000L * 1000000000L));
}

TEST(TimeSpecTest, NegativeNanosecondsBorrowFromSeconds) {
    expectTime(0, 999999999, TimeSpec(1, -1));
    expectTime(-1, 999999999, TimeSpec(0, -1));
    expectTime(-3, 0, TimeSpec(0, -3000000000L));
    TimeSpec extreme(0, LONG_MIN);
    EXPECT_GE(extreme.getNanoseconds(), 0);
    EXPECT_LT(extreme.getNanoseconds(), 1000000000);
    EXPECT_EQ(LONG_MIN / 1000000000 - 1, extreme.getSeconds());
}

TEST(TimeSpecTest, SecondsUseTheFull64Bits) {
    TimeSpec far(int64_t(1) << 40, 0);
    far.addMilliseconds(1500);
    expectTime((int64_t(1) << 40) + 1, 500000000, far);
}

TEST(TimeSpecTest, SettersNormalise) {
    TimeSpec time;
    time.setNanoseconds(-1);
    expectTime(-1, 999999999, time);
    time.setSeconds(4);
    expectTime(4, 999999999, time);
}

TEST(TimeSpecTest, Arithmetic) {
    expectTime(4, 999999999, TimeSpec(5, 0) - TimeSpec(0, 1));
    expectTime(3, 200000000, TimeSpec(1, 600000000) + TimeSpec(1, 600000000));
    TimeSpec time(10, 0);
    time.addMilliseconds(-1500);
    expectTime(8, 500000000, time);
    time += TimeSpec(0, 500000000);
    EXPECT_TRUE(time == TimeSpec(9, 0));
    time -= TimeSpec(9, 1);
    expectTime(-1, 999999999, time);
}

TEST(TimeSpecTest, CurrentTimeMatchesTheClock) {
    TimeSpec now = TimeSpec::getCurrentTime();
    int64_t clock = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(std::llabs(now.getSeconds() - clock), 2);
}

// Local-time texts are checked in UTC.
class TimeUtilsTest : public krel_test::UtcZoneTest {
protected:
    // 2009-03-07 14:05:09.042 UTC, a Saturday.
    static const uint64_t SATURDAY_MS = 1236434709042ULL;
};

TEST_F(TimeUtilsTest, TimestampHasMillisecondsWithThreeDigits) {
    EXPECT_EQ(L"2009-03-07 14:05:09.042", TimeUtils::getTimestampForTimeMs(SATURDAY_MS));
    EXPECT_EQ(L"2009-03-07 14:05:09.005", TimeUtils::getTimestampForTimeMs(SATURDAY_MS - 37));
}

TEST_F(TimeUtilsTest, Weekday) {
    EXPECT_EQ(6, TimeUtils::getWeekdayForTimeMs(SATURDAY_MS));
    EXPECT_EQ(4, TimeUtils::getWeekdayForTimeMs(0));
    int today = TimeUtils::getCurrentWeekday();
    EXPECT_GE(today, 0);
    EXPECT_LE(today, 6);
}

TEST_F(TimeUtilsTest, CurrentTimeMsMatchesTheClock) {
    uint64_t ms = TimeUtils::getCurrentTimeMs();
    uint64_t clock = static_cast<uint64_t>(std::time(nullptr)) * 1000;
    EXPECT_LE(ms > clock ? ms - clock : clock - ms, 2000u);
    EXPECT_EQ(23u, TimeUtils::getCurrentTimestamp().size());
}

TEST_F(TimeUtilsTest, FormatTimeWritesMillisecondsWithoutLeadingZeros) {
    EXPECT_EQ(L"14:05:09.5", TimeUtils::formatTime(L"%H:%M:%S.%s", SATURDAY_MS - 37));
    EXPECT_EQ(L"2009-03-07 42", TimeUtils::formatTime(L"%Y-%m-%d %s", SATURDAY_MS));
}

TEST_F(TimeUtilsTest, FormatTimeKeepsEscapedPercentSigns) {
    EXPECT_EQ(L"%s 42", TimeUtils::formatTime(L"%%s %s", SATURDAY_MS));
}

TEST_F(TimeUtilsTest, FormatTimeRejectsTooLongOrEmptyResults) {
    std::wstring longFormat(2100, L'x');
    EXPECT_THROW(TimeUtils::formatTime(longFormat.c_str(), SATURDAY_MS),
                 KrelIllegalArgumentException);
    EXPECT_THROW(TimeUtils::formatTime(L"", SATURDAY_MS), KrelIllegalArgumentException);
}

TEST_F(TimeUtilsTest, ZoneNames) {
    EXPECT_EQ(L"UTC", TimeUtils::getTimezone());
}

} // namespace
