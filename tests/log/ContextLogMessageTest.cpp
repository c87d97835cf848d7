#include "log/ContextLogMessage.h"

#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "LogTestSupport.h"
#include "base/ErrorUtils.h"
#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"

using namespace krel_std;
using krel_test::RecordingAppender;

namespace {

// A static log whose one appender records events, and one whose appender records the lines
// of the layout with thread id and function.
class ContextLogMessageTest : public krel_test::StaticLogTest {
protected:
    void SetUp() override {
        StaticLogTest::SetUp();
        recorder = boost::shared_ptr<RecordingAppender>(
            new RecordingAppender(boost::shared_ptr<ILogEventFilter>(new DebugFileFilter())));
        initialize({{L"a", recorder}});
    }

    void useLines() {
        KrelLogLayout prototype;
        const boost::shared_ptr<ILogEventLayout> layout(
            dynamic_cast<ILogEventLayout*>(prototype.newInstance({{L"debug", L"true"}})));
        recorder = boost::shared_ptr<RecordingAppender>(new RecordingAppender(
            boost::shared_ptr<ILogEventFilter>(new DebugFileFilter()), layout));
        krel_std_internal::StaticLogTestHook::reset();
        initialize({{L"a", recorder}});
    }

    const LogEvent& onlyEvent() const {
        EXPECT_EQ(1u, recorder->events.size());
        return recorder->events.at(0);
    }

    boost::shared_ptr<RecordingAppender> recorder;
};

// The date and time at the head of a line: the only part two calls need not share.
std::wstring withoutTime(const std::wstring& line) {
    const std::size_t priority = line.find(L" INFO ");
    return priority == std::wstring::npos ? line : line.substr(priority);
}

TEST_F(ContextLogMessageTest, LiteralTextsReachTheEventWhole) {
    ContextLogMessage::log(WARN, L"Größe::läuft", L"Modul", L"E-42", 7, L"Überblick.cpp", 31,
                           L"%ls %d", L"ñ€𝄞", 5);

    const LogEvent& event = onlyEvent();
    EXPECT_EQ(L"Größe::läuft", event.function);
    EXPECT_EQ(L"E-42", event.errorId);
    EXPECT_EQ(L"Überblick.cpp", event.file);
    EXPECT_EQ(L"ñ€𝄞 5", event.message);
    EXPECT_EQ(7u, event.threadId);
    EXPECT_EQ(31u, event.line);
    EXPECT_EQ(WARN, event.priority);
}

TEST_F(ContextLogMessageTest, NullTextsLogAsEmpty) {
    const wchar_t* none = nullptr;
    ContextLogMessage::log(INFO, none, none, none, 1, none, 2, L"still %ls", L"logged");

    const LogEvent& event = onlyEvent();
    EXPECT_EQ(L"", event.function);
    EXPECT_EQ(L"", event.errorId);
    EXPECT_EQ(L"", event.file);
    EXPECT_EQ(L"still logged", event.message);
}

TEST_F(ContextLogMessageTest, VeryLongNamesAreNotCut) {
    const std::wstring function(5000, L'f');
    const std::wstring file(3000, L'é');
    ContextLogMessage::log(INFO, function.c_str(), L"KrelStd", L"", 1, file.c_str(), 2, L"m");

    const LogEvent& event = onlyEvent();
    EXPECT_EQ(function, event.function);
    EXPECT_EQ(file, event.file);
}

TEST_F(ContextLogMessageTest, TextsAsStringsAndAsLiteralsGiveTheSameLine) {
    useLines();
    const std::wstring function = L"Größe::läuft";
    const std::wstring module = L"KrelStd";
    const std::wstring errorId;
    const std::wstring file = L"Überblick.cpp";
    ContextLogMessage::log(INFO, function, module, errorId, 9, file, 4, L"n=%d <%ls> 0x%08X", 12,
                           L"wörter", 0xBEEFu);
    ContextLogMessage::log(INFO, L"Größe::läuft", L"KrelStd", L"", 9, L"Überblick.cpp", 4,
                           L"n=%d <%ls> 0x%08X", 12, L"wörter", 0xBEEFu);

    ASSERT_EQ(2u, recorder->lines.size());
    EXPECT_EQ(withoutTime(recorder->lines[0]), withoutTime(recorder->lines[1]));
    EXPECT_NE(std::wstring::npos, recorder->lines[1].find(L"n=12 <wörter> 0x0000BEEF"));
}

TEST_F(ContextLogMessageTest, MessagesOfAnyLengthArriveWhole) {
    const std::size_t lengths[] = {0, 1, 254, 255, 256, 257, 511, 512, 513, 20000};
    for (const std::size_t length : lengths) {
        const std::wstring text(length, L'ä');
        ContextLogMessage::log(INFO, L"F::g", L"KrelStd", L"", 1, L"F.cpp", 2, L"%ls|",
                               text.c_str());
    }

    ASSERT_EQ(std::size(lengths), recorder->events.size());
    for (std::size_t i = 0; i < std::size(lengths); ++i) {
        EXPECT_EQ(std::wstring(lengths[i], L'ä') + L"|", recorder->events[i].message) << lengths[i];
    }
}

TEST_F(ContextLogMessageTest, LongTextPaddedToAWidthArrivesWhole) {
    ContextLogMessage::log(INFO, L"F::g", L"KrelStd", L"", 1, L"F.cpp", 2, L"<%300d>", -7);

    EXPECT_EQ(L"<" + std::wstring(298, L' ') + L"-7>", onlyEvent().message);
}

TEST_F(ContextLogMessageTest, FormatThatFailsLogsTheFormattingError) {
    ContextLogMessage::log(INFO, L"F::g", L"KrelStd", L"", 1, L"F.cpp", 2, L"bad %n here");

    // The formatting error is also reported at DEBUG; the call's own event comes last.
    ASSERT_FALSE(recorder->events.empty());
    const LogEvent& event = recorder->events.back();
    EXPECT_EQ(L"F::g", event.function);
    EXPECT_EQ(L"Unable to format string: bad %n here", event.message);
}

TEST_F(ContextLogMessageTest, FailedCheckWithoutAContextIsTracedForFunctionNull) {
    EXPECT_TRUE(ErrorUtils::isBelowMinimum(1, 2, nullptr, L"Length"));

    ASSERT_FALSE(recorder->events.empty());
    const LogEvent& event = recorder->events.front();
    EXPECT_EQ(L"NULL", event.function);
    EXPECT_EQ(L"ErrorUtils.cpp", event.file);
    EXPECT_EQ(L"Length value 1 is below minimum of 2.", event.message);
}

} // namespace
