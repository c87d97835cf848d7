#include "system/KrelSystem.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "support/MessageOf.h"

using krel_std::KrelIllegalArgumentException;
using krel_std::KrelSystem;
using krel_test::messageOf;

namespace {

class KrelSystemTest : public ::testing::Test {
protected:
    void SetUp() override { system.setProperties({}); }

    KrelSystem& system = KrelSystem::getInstance();
};

} // namespace

TEST_F(KrelSystemTest, SetPropertyAnswersThePreviousValue) {
    EXPECT_EQ(L"", system.setProperty(L"a", L"1"));
    EXPECT_EQ(L"1", system.setProperty(L"a", L"2"));
    EXPECT_EQ(L"2", system.getProperty(L"a", L"x"));
    EXPECT_EQ(L"x", system.getProperty(L"b", L"x"));
}

TEST_F(KrelSystemTest, EmptyPropertyKeyIsRefused) {
    EXPECT_EQ(L"Property key value is empty.",
              messageOf<KrelIllegalArgumentException>([this] { system.getProperty(L"", L"x"); }));
    EXPECT_EQ(L"Property key value is empty.",
              messageOf<KrelIllegalArgumentException>([this] { system.setProperty(L"", L"x"); }));
    EXPECT_TRUE(system.getProperties().empty());
}

TEST_F(KrelSystemTest, PropertiesAreListedInKeyOrder) {
    system.setProperty(L"zeta", L"26");
    system.setProperty(L"alpha", L"1");
    const std::map<std::wstring, std::wstring> expected{{L"alpha", L"1"}, {L"zeta", L"26"}};
    EXPECT_EQ(expected, system.getProperties());
}

TEST_F(KrelSystemTest, SetPropertiesReplacesTheWholeMap) {
    system.setProperty(L"old", L"gone");
    system.setProperties({{L"new", L"here"}});
    EXPECT_EQ(L"", system.getProperty(L"old", L""));
    EXPECT_EQ(L"here", system.getProperty(L"new", L""));
    system.setProperties(system.getProperties());
    EXPECT_EQ(1u, system.getProperties().size());
}

TEST_F(KrelSystemTest, ConcurrentWritersLoseNoProperty) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 100; ++i) {
                system.setProperty(std::to_wstring(t) + L"." + std::to_wstring(i), L"v");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(400u, system.getProperties().size());
}

TEST_F(KrelSystemTest, UnsetVariableReadsEmpty) {
    ::unsetenv("KREL_TEST_UNSET");
    EXPECT_EQ(L"", system.getEnv(L"KREL_TEST_UNSET"));
}

TEST_F(KrelSystemTest, PutEnvChangesTheProcessEnvironment) {
    EXPECT_TRUE(system.putEnv(L"KREL_TEST_VAR", L"caf\u00e9 \U0001F600"));
    EXPECT_EQ(L"caf\u00e9 \U0001F600", system.getEnv(L"KREL_TEST_VAR"));
    EXPECT_STREQ("caf\xc3\xa9 \xf0\x9f\x98\x80", std::getenv("KREL_TEST_VAR"));
}

TEST_F(KrelSystemTest, PutEnvWithEmptyValueRemovesTheVariable) {
    ::setenv("KREL_TEST_REMOVED", "present", 1);
    EXPECT_TRUE(system.putEnv(L"KREL_TEST_REMOVED", L""));
    EXPECT_EQ(nullptr, std::getenv("KREL_TEST_REMOVED"));
}

TEST_F(KrelSystemTest, EnvironmentRefusesUnstorableNames) {
    EXPECT_EQ(L"Environment variable name value is empty.",
              messageOf<KrelIllegalArgumentException>([this] { system.getEnv(L""); }));
    EXPECT_EQ(L"Environment variable name value is empty.",
              messageOf<KrelIllegalArgumentException>([this] { system.putEnv(L"", L"x"); }));
    EXPECT_FALSE(system.putEnv(L"KREL=TEST", L"x"));
    EXPECT_FALSE(system.putEnv(std::wstring(L"KREL\0TEST", 9), L"x"));
}

TEST_F(KrelSystemTest, ConcurrentEnvironmentChangesAndReadsAreSafe) {
    std::atomic<bool> allRead{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t, &allRead] {
            const std::wstring name = L"KREL_TEST_THREAD_" + std::to_wstring(t);
            for (int i = 0; i < 200; ++i) {
                const std::wstring value = std::to_wstring(i);
                system.putEnv(name, value);
                if (system.getEnv(name) != value) {
                    allRead = false;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(allRead.load());
}

TEST_F(KrelSystemTest, HostNameIsTheMachinesName) {
    char expected[512] = {};
    ASSERT_EQ(0, ::gethostname(expected, sizeof(expected) - 1));
    const std::string expectedText(expected);
    EXPECT_EQ(std::wstring(expectedText.begin(), expectedText.end()), KrelSystem::getHostName());
}

TEST_F(KrelSystemTest, OperatingSystemNameStartsWithTheSystemName) {
    struct utsname names = {};
    ASSERT_EQ(0, ::uname(&names));
    const std::string sysname(names.sysname);
    const std::wstring name = KrelSystem::getOperatingSystemName();
    EXPECT_EQ(0u, name.find(std::wstring(sysname.begin(), sysname.end()) + L" "));
    EXPECT_EQ(KrelSystem::WINDOWS, KrelSystem::getOperatingSystemType());
}
