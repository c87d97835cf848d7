#include "log/NTEventLogAppender.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "LogTestSupport.h"
#include "base/Class.h"
#include "exception/KrelIOException.h"
#include "file/File.h"
#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"
#include "platform/Utf16.h"
#include "platform/WinEventLog.h"
#include "platform/WinReg.h"
#include "windows/NTEventLogWrapper.h"

using krel_platform::EventLogRecord;
using krel_std::ILogAppender;
using krel_std::LogEvent;
using krel_std_internal::NTEventLogWrapper;

namespace {

const std::wstring APPLICATION_LOG =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// Each test reports under an event source of its own and removes its registry entry afterwards.
class NTEventLogAppenderTest : public krel_test::StaticLogTest {
protected:
    void SetUp() override {
        StaticLogTest::SetUp();
        source = L"KrelTest." +
                 krel_platform::utf8ToWide(
                     ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                 L"." + std::to_wstring(getpid());
    }

    void TearDown() override {
        krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, false);
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, (APPLICATION_LOG + source).c_str());
        StaticLogTest::TearDown();
    }

    std::unique_ptr<ILogAppender>
    makeAppender(const std::map<std::wstring, std::wstring>& properties) {
        krel_std::NTEventLogAppender prototype;
        std::unique_ptr<ILogAppender> made(
            dynamic_cast<ILogAppender*>(prototype.newInstance(properties)));
        made->setFilter(
            boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter));
        return made;
    }

    std::vector<EventLogRecord> records(const std::wstring& name) const {
        krel_platform::EventLogQuery query;
        query.sourceName = name;
        std::vector<EventLogRecord> found;
        EXPECT_EQ(ERROR_SUCCESS, krel_platform::readEventLogRecords(query, found));
        return found;
    }

    // The bytes and type of a value of the source's entry; REG_NONE when it is missing.
    std::pair<DWORD, std::wstring> entryValue(const std::wstring& name) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (APPLICATION_LOG + source).c_str(), 0,
                          KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return {REG_NONE, L""};
        }
        char16_t buffer[600] = {};
        DWORD type = REG_NONE;
        DWORD size = sizeof buffer - 2;
        const LSTATUS code = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                              reinterpret_cast<LPBYTE>(buffer), &size);
        RegCloseKey(key);
        if (code != ERROR_SUCCESS) {
            return {REG_NONE, L""};
        }
        if (type == REG_DWORD) {
            int32_t number = 0;
            std::memcpy(&number, buffer, sizeof number);
            return {type, std::to_wstring(number)};
        }
        return {type, krel_platform::utf16ToWide(buffer)};
    }

    static LogEvent event(krel_std::LogEventPriority priority, const std::wstring& errorId,
                          const std::wstring& message) {
        LogEvent made(priority);
        made.errorId = errorId;
        made.message = message;
        return made;
    }

    std::wstring source;
};

TEST_F(NTEventLogAppenderTest, PrioritiesBecomeEventTypesAndMessageIds) {
    const std::unique_ptr<ILogAppender> appender = makeAppender({{L"sourceName", source}});
    appender->append(event(krel_std::FATAL, L"STD2000", L"fatal"));
    appender->append(event(krel_std::ERROR, L"STD2001", L"error"));
    appender->append(event(krel_std::WARN, L"STD3000", L"warn"));
    appender->append(event(krel_std::INFO, L"STD0009", L"info"));
    appender->append(event(krel_std::DEBUG, L"", L"debug"));
    const std::vector<EventLogRecord> found = records(source);
    ASSERT_EQ(5u, found.size());
    const struct {
        WORD type;
        DWORD id;
        const wchar_t* text;
    } expected[] = {{EVENTLOG_ERROR_TYPE, 0xC0000005u, L"STD2000 fatal"},
                    {EVENTLOG_ERROR_TYPE, 0x80000004u, L"STD2001 error"},
                    {EVENTLOG_WARNING_TYPE, 0x80000003u, L"STD3000 warn"},
                    {EVENTLOG_INFORMATION_TYPE, 0x40000002u, L"STD0009 info"},
                    {EVENTLOG_INFORMATION_TYPE, 0x40000002u, L" debug"}};
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].type, found[i].eventType);
        EXPECT_EQ(expected[i].id, found[i].eventId);
        EXPECT_EQ(0, found[i].eventCategory);
        EXPECT_EQ(std::vector<std::wstring>{expected[i].text}, found[i].strings);
        EXPECT_TRUE(found[i].data.empty());
    }
}

TEST_F(NTEventLogAppenderTest, NewAppenderRegistersItsSourceWithTheLibraryAsMessageFile) {
    makeAppender({{L"sourceName", source}});
    const std::wstring messageFile = krel_std::File(L".", L"libKrelStd.so").getCanonicalPath();
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, messageFile), entryValue(L"EventMessageFile"));
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, std::wstring(L"7")), entryValue(L"TypesSupported"));
    EXPECT_EQ(REG_NONE, entryValue(L"CategoryMessageFile").first);
    EXPECT_TRUE(NTEventLogWrapper::eventLogEntryExists(source));
    EXPECT_FALSE(NTEventLogWrapper::eventLogEntryExists(source + L".never"));
}

TEST_F(NTEventLogAppenderTest, SourceDefaultsToTheStaticLogModuleName) {
    initialize({{L"unused", boost::shared_ptr<ILogAppender>(new krel_test::RecordingAppender(
                                boost::shared_ptr<krel_std::ILogEventFilter>()))}},
               source.c_str());
    makeAppender({})->append(event(krel_std::INFO, L"", L"named"));
    EXPECT_EQ(1u, records(source).size());
}

TEST_F(NTEventLogAppenderTest, CategoriesAreRegisteredOnlyWithAFileAndACount) {
    NTEventLogWrapper::createEventLogEntry(source, L"/m.so", L"/c.so", 0);
    EXPECT_EQ(REG_NONE, entryValue(L"CategoryMessageFile").first);
    NTEventLogWrapper::createEventLogEntry(source, L"/m.so", L"/c.so", 3);
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, std::wstring(L"/c.so")),
              entryValue(L"CategoryMessageFile"));
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, std::wstring(L"3")), entryValue(L"CategoryCount"));
}

TEST_F(NTEventLogAppenderTest, UnwritableMachineHiveFailsTheNewAppender) {
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    try {
        makeAppender({{L"sourceName", source}});
        FAIL() << "nothing thrown";
    } catch (const krel_std::KrelIOException& thrown) {
        const std::unique_ptr<krel_std::KrelException> cause(thrown.getNestedException());
        ASSERT_NE(nullptr, cause);
        EXPECT_NE(std::wstring::npos, cause->getMessage().find(L" Access denied: <"));
        EXPECT_EQ(L"Unable to create event log entry.: " + cause->getMessage(),
                  thrown.getMessage());
    }
    EXPECT_TRUE(records(source).empty());
}

TEST_F(NTEventLogAppenderTest, AppenderWithALayoutReportsNothing) {
    const std::unique_ptr<ILogAppender> appender = makeAppender({{L"sourceName", source}});
    appender->setLayout(boost::shared_ptr<krel_std::ILogEventLayout>(new krel_std::KrelLogLayout));
    appender->append(event(krel_std::ERROR, L"", L"formatted"));
    EXPECT_TRUE(records(source).empty());
}

TEST_F(NTEventLogAppenderTest, RegisteredPrototypeGivenAFilterDropsEvents) {
    const boost::shared_ptr<ILogAppender> prototype =
        krel_std::Class::getInstance().getObject<ILogAppender>(L"krel_std.NTEventLogAppender");
    ASSERT_TRUE(prototype);
    prototype->setFilter(
        boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter));
    EXPECT_NO_THROW(prototype->append(event(krel_std::FATAL, L"", L"dropped")));
    prototype->setFilter(boost::shared_ptr<krel_std::ILogEventFilter>());
}

} // namespace
