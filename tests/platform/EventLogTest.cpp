#include <ctime>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinEventLog.h"

using krel_platform::EventLogQuery;
using krel_platform::EventLogRecord;

namespace {

// Each test reports under a source of its own, so that it reads back only its own records
// whatever else writes to the log.
class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = L"EventLogTest." +
                 krel_platform::utf8ToWide(
                     ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                 L"." + std::to_wstring(getpid());
        handle = RegisterEventSourceW(nullptr, source.c_str());
        ASSERT_NE(nullptr, handle);
    }

    void TearDown() override {
        if (handle != nullptr) {
            DeregisterEventSource(handle);
        }
    }

    std::vector<EventLogRecord> records() const {
        EventLogQuery query;
        query.sourceName = source;
        std::vector<EventLogRecord> found;
        EXPECT_EQ(ERROR_SUCCESS, krel_platform::readEventLogRecords(query, found));
        return found;
    }

    std::wstring source;
    HANDLE handle = nullptr;
};

TEST_F(EventLogTest, RecordGivesBackEveryReportedField) {
    LPCWSTR strings[] = {L"first", L"", L"caf\u00e9 \U0001F600"};
    unsigned char data[] = {0x00, 0xFF, 0x10};
    const int64_t before = std::time(nullptr);
    ASSERT_TRUE(ReportEventW(handle, EVENTLOG_WARNING_TYPE, 3, 0x80000003u, nullptr, 3, sizeof data,
                             strings, data));
    const int64_t after = std::time(nullptr);
    const std::vector<EventLogRecord> found = records();
    ASSERT_EQ(1u, found.size());
    const EventLogRecord& record = found[0];
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_GT(record.recordNumber, 0u);
    EXPECT_GE(record.timeWritten, before);
    EXPECT_LE(record.timeWritten, after);
    EXPECT_EQ(source, record.sourceName);
    EXPECT_EQ(EVENTLOG_WARNING_TYPE, record.eventType);
    EXPECT_EQ(3, record.eventCategory);
    EXPECT_EQ(0x80000003u, record.eventId);
    EXPECT_EQ(krel_platform::utf8ToWide(host), record.computerName);
    EXPECT_EQ(static_cast<DWORD>(getpid()), record.processId);
    EXPECT_EQ(GetCurrentThreadId(), record.threadId);
    EXPECT_EQ((std::vector<std::wstring>{L"first", L"", L"caf\u00e9 \U0001F600"}), record.strings);
    EXPECT_EQ((std::vector<unsigned char>{0x00, 0xFF, 0x10}), record.data);
}

TEST_F(EventLogTest, RecordsOfConcurrentWritersAllArriveWithDistinctNumbers) {
    const int writers = 4;
    const int perWriter = 25;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([this] {
            for (int i = 0; i < perWriter; ++i) {
                ReportEventW(handle, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr,
                             nullptr);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<EventLogRecord> found = records();
    ASSERT_EQ(static_cast<size_t>(writers * perWriter), found.size());
    std::set<DWORD> numbers;
    for (size_t i = 0; i < found.size(); ++i) {
        numbers.insert(found[i].recordNumber);
        if (i > 0) {
            EXPECT_LT(found[i - 1].recordNumber, found[i].recordNumber);
            EXPECT_LE(found[i - 1].timeWritten, found[i].timeWritten);
        }
    }
    EXPECT_EQ(found.size(), numbers.size());
}

TEST_F(EventLogTest, QueryStartsAtARecordNumberAndStopsAtItsCount) {
    for (DWORD id = 1; id <= 4; ++id) {
        ASSERT_TRUE(ReportEventW(handle, EVENTLOG_INFORMATION_TYPE, 0, id, nullptr, 0, 0, nullptr,
                                 nullptr));
    }
    const std::vector<EventLogRecord> all = records();
    ASSERT_EQ(4u, all.size());
    EventLogQuery query;
    query.sourceName = source;
    query.firstRecordNumber = all[1].recordNumber;
    query.maximumCount = 2;
    std::vector<EventLogRecord> some;
    ASSERT_EQ(ERROR_SUCCESS, krel_platform::readEventLogRecords(query, some));
    ASSERT_EQ(2u, some.size());
    EXPECT_EQ(2u, some[0].eventId);
    EXPECT_EQ(3u, some[1].eventId);
}

TEST_F(EventLogTest, BadReportsAreRefusedAndRecordNothing) {
    LPCWSTR missing[] = {L"a", nullptr};
    unsigned char byte = 0;
    const std::wstring tooLong(31840, L'x');
    LPCWSTR oversized[] = {tooLong.c_str()};
    EXPECT_FALSE(ReportEventW(handle, 1, 0, 1, nullptr, 1, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(ReportEventW(handle, 1, 0, 1, nullptr, 2, 0, missing, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(ReportEventW(handle, 1, 0, 1, nullptr, 0, 1, nullptr, nullptr));
    EXPECT_FALSE(ReportEventW(handle, 1, 0, 1, nullptr, 0, 61441, nullptr, &byte));
    EXPECT_FALSE(ReportEventW(handle, 1, 0, 1, nullptr, 1, 0, oversized, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(records().empty());
}

TEST_F(EventLogTest, OnlyRegisteredLocalSourcesReport) {
    EXPECT_EQ(nullptr, RegisterEventSourceW(nullptr, L""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, RegisterEventSourceW(L"\\\\elsewhere.invalid", source.c_str()));
    EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
    ASSERT_TRUE(DeregisterEventSource(handle));
    EXPECT_FALSE(ReportEventW(handle, 1, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(DeregisterEventSource(handle));
    handle = nullptr;
}

} // namespace
