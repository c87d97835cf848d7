#include "log/LocalTimeCache.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

#include "support/UtcZoneTest.h"

using krel_std_internal::LocalTimeCache;

namespace {

class LocalTimeCacheTest : public krel_test::UtcZoneTest {
protected:
    static std::wstring prefix(int64_t seconds) {
        wchar_t text[LocalTimeCache::STAMP_PREFIX_ROOM];
        const std::size_t length = LocalTimeCache::writeStampPrefix(seconds, text);
        return length == 0 ? L"<none>" : std::wstring(text, length);
    }
};

TEST_F(LocalTimeCacheTest, StampPrefixFollowsTheSecondAskedFor) {
    EXPECT_EQ(L"2009-03-05 14:07:09:", prefix(1236262029));
    EXPECT_EQ(L"2009-03-05 14:07:10:", prefix(1236262030));
    EXPECT_EQ(L"2009-03-05 14:07:09:", prefix(1236262029));
}

TEST_F(LocalTimeCacheTest, TimeBeyondTheCalendarHasNoLocalTime) {
    EXPECT_EQ(L"<none>", prefix(INT64_MAX));
    EXPECT_EQ(L"2009-03-05 14:07:09:", prefix(1236262029));
}

TEST_F(LocalTimeCacheTest, NowCarriesTheZoneInEffect) {
    setZone("XYZ-2");
    krel_std::LogEventTime now = LocalTimeCache::now();
    EXPECT_EQ(-120, now.timezone);
    EXPECT_EQ(0, now.dstflag);
    EXPECT_LE(now.millitm, 999);

    setZone("UTC");
    now = LocalTimeCache::now();
    EXPECT_EQ(0, now.timezone);
}

} // namespace
