// With no factory configured, the preferences roots are the registry's and the first choice is
// logged once; this executable holds the only test that chooses a factory, so it sees that
// first call.
#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "prefs/Preferences.h"
#include "prefs/RegistryPreferences.h"
#include "support/RecordingLogTest.h"
#include "system/KrelSystem.h"

namespace {

class RegistryDefaultFactoryTest : public krel_test::RecordingLogTest {
protected:
    std::vector<std::wstring> factoryMessages() const {
        std::vector<std::wstring> messages;
        for (const krel_std::LogEvent& event : appender->events) {
            if (event.errorId == L"STD0002") {
                messages.push_back(event.message);
            }
        }
        return messages;
    }
};

TEST_F(RegistryDefaultFactoryTest, UnconfiguredRootsAreTheRegistrysAndTheChoiceIsLoggedOnce) {
    ASSERT_TRUE(krel_std::KrelSystem::getInstance().getEnv(L"default.PreferencesFactory").empty());

    EXPECT_EQ(krel_std::Preferences::userRoot(), krel_std::RegistryPreferences::getUserRoot());
    EXPECT_EQ(krel_std::Preferences::systemRoot(), krel_std::RegistryPreferences::getSystemRoot());
    EXPECT_EQ(factoryMessages(),
              (std::vector<std::wstring>{
                  L"Using krel_std.RegistryPreferencesFactory PreferencesFactory."}));
}

} // namespace
