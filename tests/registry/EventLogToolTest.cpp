// krel-admin as another process reads the event log that this process writes.
#include <filesystem>
#include <sstream>

#include "RegistryTestSupport.h"
#include "platform/WinBase.h"
#include "platform/WinEventLog.h"

namespace {

using EventLogToolTest = RegistryTest;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(EventLogToolTest, PrintsEveryFieldOfTheRecordsOfASource) {
    const HANDLE source = RegisterEventSourceW(nullptr, L"Tool\u00e9");
    const HANDLE other = RegisterEventSourceW(nullptr, L"Other");
    LPCWSTR strings[] = {L"first", L"second"};
    unsigned char data[] = {0x0A, 0xFF};
    ASSERT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 2, 0xC0000005u, nullptr, 2, sizeof data,
                             strings, data));
    ASSERT_TRUE(ReportEventW(other, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    DeregisterEventSource(source);
    DeregisterEventSource(other);
    char host[256] = {};
    gethostname(host, sizeof host - 1);

    std::string output;
    ASSERT_EQ(runTool({"eventlog", "--source", "Tool\xc3\xa9"}, &output), 0);
    const std::vector<std::string> lines = linesOf(output);
    ASSERT_EQ(lines.size(), 13u) << output;
    EXPECT_EQ(lines[0], "Record: 1");
    EXPECT_EQ(lines[1].rfind("Time: ", 0), 0u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 4), " UTC");
    EXPECT_EQ(lines[2], "Source: Tool\xc3\xa9");
    EXPECT_EQ(lines[3], "Type: Error");
    EXPECT_EQ(lines[4], "Category: 2");
    EXPECT_EQ(lines[5], "Event ID: 0xC0000005");
    EXPECT_EQ(lines[6], std::string("Computer: ") + host);
    EXPECT_EQ(lines[7], "Process: " + std::to_string(getpid()));
    EXPECT_EQ(lines[8], "Thread: " + std::to_string(GetCurrentThreadId()));
    EXPECT_EQ(lines[9], "String 1: first");
    EXPECT_EQ(lines[10], "String 2: second");
    EXPECT_EQ(lines[11], "Data: 0A FF");
    EXPECT_EQ(lines[12], "");
}

TEST_F(EventLogToolTest, StartsAtARecordAndStopsAtACount) {
    const HANDLE source = RegisterEventSourceW(nullptr, L"Counted");
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(
            ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    }
    DeregisterEventSource(source);

    std::string output;
    ASSERT_EQ(runTool({"eventlog", "--from", "2", "--count", "2"}, &output), 0);
    std::vector<std::string> numbers;
    for (const std::string& line : linesOf(output)) {
        if (line.rfind("Record: ", 0) == 0) {
            numbers.push_back(line.substr(8));
        }
    }
    EXPECT_EQ(numbers, (std::vector<std::string>{"2", "3"}));
}

TEST_F(EventLogToolTest, RefusesMalformedOptions) {
    EXPECT_EQ(runTool({"eventlog", "--from"}), 2);
    EXPECT_EQ(runTool({"eventlog", "--count", "-1"}), 2);
    EXPECT_EQ(runTool({"eventlog", "--level", "x"}), 2);
    std::string output;
    EXPECT_EQ(runTool({"eventlog"}, &output), 0);
    EXPECT_EQ(output, "no records\n");
}

TEST_F(EventLogToolTest, EmptyLogSaysNoRecordsAndMakesNoDatabase) {
    std::string output;
    ASSERT_EQ(runTool({"eventlog"}, &output), 0);
    EXPECT_EQ(output, "no records\n");
    EXPECT_FALSE(std::filesystem::exists(root / "eventlog.db"));
}

TEST_F(EventLogToolTest, WrongOptionIsNamed) {
    std::string output;
    std::string errors;
    ASSERT_EQ(runToolWithErrors({"eventlog", "--level", "x"}, output, errors), 2);
    EXPECT_NE(errors.find("unknown option \"--level\""), std::string::npos) << errors;
    ASSERT_EQ(runToolWithErrors({"eventlog", "--count", "-1"}, output, errors), 2);
    EXPECT_NE(errors.find("\"-1\" is no value for option --count"), std::string::npos) << errors;
    ASSERT_EQ(runToolWithErrors({"eventlog", "--from"}, output, errors), 2);
    EXPECT_NE(errors.find("option --from needs a value"), std::string::npos) << errors;
}

TEST_F(EventLogToolTest, InsertionStringWithALineBreakStaysOneLine) {
    const HANDLE source = RegisterEventSourceW(nullptr, L"Forger");
    LPCWSTR strings[] = {L"x\nRecord: 99\nSource: Security\x1B[2J"};
    ASSERT_TRUE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
    DeregisterEventSource(source);

    std::string output;
    ASSERT_EQ(runTool({"eventlog", "--source", "Forger"}, &output), 0);
    const std::vector<std::string> lines = linesOf(output);
    ASSERT_EQ(lines.size(), 11u) << output;
    EXPECT_EQ(lines[9], "String 1: x\\nRecord: 99\\nSource: Security\\x1B[2J");
}

} // namespace
