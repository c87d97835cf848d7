#include "system/Paths.h"

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "base/Class.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "support/MessageOf.h"
#include "support/RecordingLogTest.h"
#include "system/KrelSystem.h"

using krel_std::KrelSystem;
using krel_std::Paths;
using krel_test::messageOf;

namespace {

// A host's own provider, registered under a name of its own.
class SitePaths : public Paths {
public:
    std::wstring getClassName() const override { return L"krel_test.SitePaths"; }
};

const wchar_t* const SELECTOR = L"default.Paths";

// The provider is chosen by the environment and the system properties: every test starts and
// ends with neither naming one, and with the static log recording what the provider logs.
class PathsTest : public krel_test::RecordingLogTest {
protected:
    void SetUp() override {
        RecordingLogTest::SetUp();
        clearSelection();
    }

    void TearDown() override {
        clearSelection();
        RecordingLogTest::TearDown();
    }

    static void clearSelection() {
        KrelSystem::getInstance().putEnv(SELECTOR, L"");
        KrelSystem::getInstance().setProperty(SELECTOR, L"");
    }

    static boost::shared_ptr<Paths> sitePaths() {
        static const boost::shared_ptr<Paths> site = [] {
            const boost::shared_ptr<Paths> made(new SitePaths);
            krel_std::Class::getInstance().registerClass(L"krel_test.SitePaths", made);
            return made;
        }();
        return site;
    }

    int usingMessages(const std::wstring& name) const {
        const std::wstring text = L"Using " + name + L" Paths.";
        int count = 0;
        for (const krel_std::LogEvent& event : appender->events) {
            count += event.message == text ? 1 : 0;
        }
        return count;
    }
};

TEST_F(PathsTest, UnsetKeysAnswerTheCallersDefaultWithoutStoringIt) {
    const boost::shared_ptr<Paths> paths = Paths::getInstance();
    EXPECT_EQ(L"../config", paths->getPath(L"System Config Path Key", L"../config"));
    EXPECT_EQ(L"../log", paths->getPath(L"System Log Path Key", L"../log"));
    EXPECT_EQ(L".", paths->getPath(L"System Executable Path Key", L"."));
    EXPECT_EQ(L"elsewhere", paths->getPath(L"System Log Path Key", L"elsewhere"));
    EXPECT_EQ(L"", paths->getPath(L"System Config Path Key", L""));
}

TEST_F(PathsTest, SetPathIsSeenByEveryLaterCallerAndReplacesTheEarlierValue) {
    Paths::getInstance()->setPath(L"test.replaced", L"first");
    Paths::getInstance()->setPath(L"test.replaced", L"..\\second dir/");
    EXPECT_EQ(L"..\\second dir/", Paths::getInstance()->getPath(L"test.replaced", L"default"));
}

TEST_F(PathsTest, EmptyKeyIsRefused) {
    const boost::shared_ptr<Paths> paths = Paths::getInstance();
    EXPECT_EQ(L"Preferences path key value is empty.",
              messageOf<krel_std::KrelException>([&] { paths->setPath(L"", L"x"); }));
    EXPECT_THROW(paths->getPath(L"", L"x"), krel_std::KrelIllegalArgumentException);
}

TEST_F(PathsTest, WithoutSelectionTheLoadHooksPrototypeIsUsed) {
    const boost::shared_ptr<Paths> registered =
        krel_std::Class::getInstance().getObject<Paths>(L"krel_std.Paths");
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered, Paths::getInstance());
}

TEST_F(PathsTest, EnvironmentVariableSwitchesTheProviderAndLogsTheNewNameOnce) {
    const boost::shared_ptr<Paths> site = sitePaths();
    KrelSystem::getInstance().putEnv(SELECTOR, L"krel_test.SitePaths");
    EXPECT_EQ(site, Paths::getInstance());
    EXPECT_EQ(site, Paths::getInstance());
    EXPECT_EQ(1, usingMessages(L"krel_test.SitePaths"));

    clearSelection();
    EXPECT_NE(site, Paths::getInstance());
    EXPECT_EQ(1, usingMessages(L"krel_std.Paths"));
}

TEST_F(PathsTest, SystemPropertySelectsWhenTheEnvironmentDoesNot) {
    const boost::shared_ptr<Paths> site = sitePaths();
    KrelSystem::getInstance().setProperty(SELECTOR, L"krel_test.SitePaths");
    EXPECT_EQ(site, Paths::getInstance());

    KrelSystem::getInstance().putEnv(SELECTOR, L"krel_std.Paths");
    EXPECT_NE(site, Paths::getInstance());
}

TEST_F(PathsTest, NameWithoutARegisteredProviderIsRefusedOnEveryCall) {
    KrelSystem::getInstance().putEnv(SELECTOR, L"krel_test.NoSuchPaths");
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(L"Unable to get Paths named <krel_test.NoSuchPaths>.",
                  messageOf<krel_std::KrelException>([] { Paths::getInstance(); }));
    }
    EXPECT_THROW(Paths::getInstance(), krel_std::KrelAccessException);
    KrelSystem::getInstance().putEnv(SELECTOR, L"krel_std.DebugFileFilter");
    EXPECT_EQ(L"Unable to get Paths named <krel_std.DebugFileFilter>.",
              messageOf<krel_std::KrelException>([] { Paths::getInstance(); }));
}

} // namespace
