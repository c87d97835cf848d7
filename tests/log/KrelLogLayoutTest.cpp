#include "log/KrelLogLayout.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>

#include "support/UtcZoneTest.h"

using namespace krel_std;

namespace {

// Lines are written in local time; the tests pin the zone to UTC.
class KrelLogLayoutTest : public krel_test::UtcZoneTest {
protected:
    // 2009-03-05 14:07:09.042 UTC.
    static LogEvent event(LogEventPriority priority, const std::wstring& message) {
        LogEvent result(priority);
        result.time.time = 1236262029;
        result.time.millitm = 42;
        result.message = message;
        result.line = 0;
        return result;
    }

    static std::wstring format(const LogEvent& e, bool debug) {
        KrelLogLayout prototype;
        std::unique_ptr<Configurable> made(
            prototype.newInstance({{L"debug", debug ? L"true" : L"false"}}));
        return dynamic_cast<KrelLogLayout&>(*made).format(e);
    }
};

TEST_F(KrelLogLayoutTest, PlainLineHasTimestampPriorityAndMessage) {
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO Started\n", format(event(INFO, L"Started"), false));
}

TEST_F(KrelLogLayoutTest, NumberedMessageCarriesItsErrorId) {
    LogEvent e = event(INFO, L"Maximum file size changed to: <2097152>.");
    e.errorId = L"STD0009";
    e.function = L"RollingFileAppender::setProperty";
    e.threadId = 0x1a4;
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO STD0009 Maximum file size changed to: <2097152>.\n",
              format(e, false));
}

TEST_F(KrelLogLayoutTest, DebugModeAddsThreadIdAndFunction) {
    LogEvent e = event(DEBUG, L"Begin.");
    e.threadId = 0x1a4;
    e.file = L"Foo.txt";
    e.line = 120;
    e.function = L"krel_std::Foo::bar";
    EXPECT_EQ(L"2009-03-05 14:07:09:042 DEBUG [0x1a4] Foo.txt[120] krel_std::Foo::bar: Begin.\n",
              format(e, true));
}

TEST_F(KrelLogLayoutTest, DebugModeWritesEveryPieceInOrder) {
    LogEvent e = event(ERROR, L"failed");
    e.threadId = 0xFFFFFFFFFull;
    e.errorId = L"E12";
    e.file = L"Main.cpp";
    e.line = 9;
    e.function = L"Main::run";
    EXPECT_EQ(L"2009-03-05 14:07:09:042 ERROR [0xfffffffff] E12 Main.cpp[9] Main::run: failed\n",
              format(e, true));
}

TEST_F(KrelLogLayoutTest, ThreadIdIsLeftOutOnlyWhenAbsent) {
    LogEvent e = event(INFO, L"m");
    e.function = L"f";
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO f: m\n", format(e, true));
    e.threadId = 0;
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO [0x0] f: m\n", format(e, true));
    e.function.clear();
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO [0x0] : m\n", format(e, true));
}

TEST_F(KrelLogLayoutTest, FileLineIsWrittenUnlessZero) {
    LogEvent e = event(INFO, L"m");
    e.file = L"Foo.cpp";
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO Foo.cpp m\n", format(e, false));

    LogEvent defaulted;
    defaulted.time = e.time;
    defaulted.file = L"Foo.cpp";
    defaulted.message = L"m";
    EXPECT_EQ(L"2009-03-05 14:07:09:042 DUMP Foo.cpp[4294967295] m\n", format(defaulted, false));
}

TEST_F(KrelLogLayoutTest, LineEndsInExactlyOneLineFeedAndNeverGainsACarriageReturn) {
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO m\n", format(event(INFO, L"m\n"), false));
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO m\r\n", format(event(INFO, L"m\r\n"), false));
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO \n", format(event(INFO, L""), false));
}

TEST_F(KrelLogLayoutTest, OnlyTheExactTextTrueTurnsDebugModeOn) {
    KrelLogLayout prototype;
    LogEvent e = event(INFO, L"m");
    e.threadId = 1;
    for (const wchar_t* value : {L"TRUE", L"1", L" true"}) {
        std::unique_ptr<Configurable> made(prototype.newInstance({{L"debug", value}}));
        EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO m\n",
                  dynamic_cast<KrelLogLayout&>(*made).format(e))
            << value;
    }
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO m\n", prototype.format(e));
    EXPECT_EQ(L"krel_std.KrelLogLayout", prototype.getClassName());
}

// The local time of a second is kept between events; a zone changed meanwhile must still count.
TEST_F(KrelLogLayoutTest, ZoneChangedWithinTheSameSecondIsFollowed) {
    const LogEvent e = event(INFO, L"m");
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO m\n", format(e, false));
    setZone("XYZ-2");
    EXPECT_EQ(L"2009-03-05 16:07:09:042 INFO m\n", format(e, false));
}

TEST_F(KrelLogLayoutTest, NumbersKeepTheirMinimumWidthsAndNeverLoseDigits) {
    LogEvent e = event(INFO, L"m");
    e.time.millitm = 7;
    EXPECT_EQ(L"2009-03-05 14:07:09:007 INFO m\n", format(e, false));
    e.time.millitm = 1234;
    EXPECT_EQ(L"2009-03-05 14:07:09:1234 INFO m\n", format(e, false));

    LogEvent early = event(INFO, L"m");
    early.time.time = -30627460793; // 0999-06-15 12:00:07 UTC: the year has no padding
    EXPECT_EQ(L"999-06-15 12:00:07:042 INFO m\n", format(early, false));

    e.time.millitm = 42;
    e.threadId = 0xFFFFFFFFFFFFFFFFull;
    e.function = L"f";
    EXPECT_EQ(L"2009-03-05 14:07:09:042 INFO [0xffffffffffffffff] f: m\n", format(e, true));
}

// One thread's events keep the text of their second between calls: each event must still
// show its own second and millisecond, forwards, backwards and across a day.
TEST_F(KrelLogLayoutTest, EachLineShowsItsOwnSecondAndMillisecond) {
    LogEvent e = event(INFO, L"m");
    const struct {
        int64_t time;
        uint16_t millis;
        const wchar_t* line;
    } steps[] = {
        {1236262029, 42, L"2009-03-05 14:07:09:042 INFO m\n"},
        {1236262029, 43, L"2009-03-05 14:07:09:043 INFO m\n"},
        {1236262029, 999, L"2009-03-05 14:07:09:999 INFO m\n"},
        {1236262030, 0, L"2009-03-05 14:07:10:000 INFO m\n"},
        {1236262029, 5, L"2009-03-05 14:07:09:005 INFO m\n"},
        {1236297599, 120, L"2009-03-05 23:59:59:120 INFO m\n"},
        {1236297600, 120, L"2009-03-06 00:00:00:120 INFO m\n"},
    };
    for (const auto& step : steps) {
        e.time.time = step.time;
        e.time.millitm = step.millis;
        EXPECT_EQ(step.line, format(e, false)) << step.time << "." << step.millis;
    }
}

TEST_F(KrelLogLayoutTest, TimeThatCannotBeConvertedIsLeftOut) {
    LogEvent e = event(WARN, L"m");
    e.time.time = INT64_MAX;
    EXPECT_EQ(L"WARN m\n", format(e, false));
}

} // namespace
