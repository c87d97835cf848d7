// The first successful choice of a preferences factory in a process is logged; this executable
// holds the only test that chooses one, so it sees that first call.
#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "exception/KrelAccessException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "prefs/Preferences.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingLogTest.h"
#include "system/KrelSystem.h"

namespace {

class PreferencesFactoryLogTest : public krel_test::RecordingLogTest {
protected:
    int factoryMessages() const {
        int count = 0;
        for (const krel_std::LogEvent& event : appender->events) {
            count += event.message.find(L"PreferencesFactory.") != std::wstring::npos ? 1 : 0;
        }
        return count;
    }
};

TEST_F(PreferencesFactoryLogTest, FirstSuccessfulChoiceIsLoggedAndRepeatsAreNot) {
    krel_test::MemoryPreferencesSelection selection;
    krel_std::KrelSystem::getInstance().putEnv(selection.variable(), L"krel_test.NoSuchFactory");
    EXPECT_THROW(krel_std::Preferences::userRoot(), krel_std::KrelAccessException);
    EXPECT_EQ(0, factoryMessages());

    krel_std::KrelSystem::getInstance().putEnv(selection.variable(), L"");
    krel_std::Preferences::userRoot();
    krel_std::Preferences::systemRoot();
    ASSERT_EQ(1, factoryMessages());
    const krel_std::LogEvent& logged = appender->events.back();
    EXPECT_EQ(L"Using krel_test.MemoryPreferencesFactory PreferencesFactory.", logged.message);
    EXPECT_EQ(L"STD0002", logged.errorId);
    EXPECT_EQ(krel_std::INFO, logged.priority);
}

} // namespace
