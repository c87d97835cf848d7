#include "log/LogModuleVerInfo.h"

#include <gtest/gtest.h>

#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "log/SLog.h"
#include "support/ModulePaths.h"
#include "support/RecordingLogTest.h"
#include "system/SVersionInfo.h"

using namespace krel_std;
using krel_test::RecordingAppender;
using krel_test::StaticLogTest;

namespace {

class LogModuleVerInfoTest : public krel_test::RecordingLogTest {
protected:
    static std::wstring libraryPath() {
        void (*single)(const KrelStd::SWString&) = &KrelStd::LogModuleVerInfo;
        return krel_test::moduleOf(reinterpret_cast<const void*>(single));
    }

    static std::wstring platform() { return KrelStd::GetOSName(); }
    static std::wstring threshold() { return KrelStd::SLog::GetDefaultLog()->GetThreshold(); }
};

TEST_F(LogModuleVerInfoTest, OneModuleLogsItsVersionsPlatformAndThresholdInOneLine) {
    const std::wstring library = libraryPath();
    KrelStd::LogModuleVerInfo(KrelStd::SWString(library));
    ASSERT_EQ(1u, appender->events.size());
    const LogEvent& event = appender->events[0];
    EXPECT_EQ(L"SL4034", event.errorId);
    EXPECT_EQ(INFO, event.priority);
    EXPECT_EQ(L"LogModuleVerInfo", event.function);
    EXPECT_EQ(L"<" + library +
                  L">: Product <KrelStd> Version <1.0.0> Pri Build <> Special Build <> Platform <" +
                  platform() + L"> Debug threshold <" + threshold() + L">.",
              event.message);
}

TEST_F(LogModuleVerInfoTest, ListLogsOneLinePerModuleThenPlatformAndThreshold) {
    const std::wstring library = libraryPath();
    const wchar_t* const modules[] = {library.c_str(), L"/no/such/module.so", nullptr};
    KrelStd::LogModuleVerInfo(modules);
    ASSERT_EQ(4u, appender->events.size());
    EXPECT_EQ(L"SL4036", appender->events[0].errorId);
    EXPECT_EQ(L"<" + library +
                  L">: Product <KrelStd> Version <1.0.0> Pri Build <> Special Build <>.",
              appender->events[0].message);
    EXPECT_EQ(L"SL4036", appender->events[1].errorId);
    EXPECT_EQ(L"</no/such/module.so>: Product <Invalid filename> Version <Invalid filename> Pri "
              L"Build <Invalid filename> Special Build <Invalid filename>.",
              appender->events[1].message);
    EXPECT_EQ(L"SL4037", appender->events[2].errorId);
    EXPECT_EQ(L"Platform <" + platform() + L">.", appender->events[2].message);
    EXPECT_EQ(L"SL4038", appender->events[3].errorId);
    EXPECT_EQ(L"Debug threshold <" + threshold() + L">.", appender->events[3].message);
}

TEST_F(LogModuleVerInfoTest, NullListLogsOnlyPlatformAndThreshold) {
    KrelStd::LogModuleVerInfo(static_cast<const wchar_t* const*>(nullptr));
    ASSERT_EQ(2u, appender->events.size());
    EXPECT_EQ(L"SL4037", appender->events[0].errorId);
    EXPECT_EQ(L"SL4038", appender->events[1].errorId);
}

} // namespace
