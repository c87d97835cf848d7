#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "base/Class.h"
#include "exception/KrelAccessException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "prefs/PrefsTestSupport.h"
#include "support/MessageOf.h"
#include "support/RecordingLogTest.h"
#include "system/KrelSystem.h"

using boost::shared_ptr;
using krel_std::KrelSystem;
using krel_std::Preferences;
using krel_test::MemoryPreferencesFactory;
using krel_test::messageOf;

namespace {

// A second in-memory back end under a name of its own.
class OtherPreferencesFactory : public MemoryPreferencesFactory {
public:
    std::wstring getClassName() const override { return name(); }
    static std::wstring name() { return L"krel_test.OtherPreferencesFactory"; }

    static OtherPreferencesFactory& registered() {
        static OtherPreferencesFactory& other = []() -> OtherPreferencesFactory& {
            const shared_ptr<OtherPreferencesFactory> made(new OtherPreferencesFactory);
            krel_std::Class::getInstance().registerClass(name(), made);
            return *made;
        }();
        return other;
    }
};

// The factory is chosen by the environment and the system properties, with the static log
// recording what the choice logs.
class PreferencesFactoryChoiceTest : public krel_test::RecordingLogTest {
protected:
    void SetUp() override {
        RecordingLogTest::SetUp();
        OtherPreferencesFactory::registered();
    }

    static void setProperty(const std::wstring& name) {
        KrelSystem::getInstance().setProperty(krel_test::MemoryPreferencesSelection::variable(),
                                              name);
    }
    static void setEnvironment(const std::wstring& name) {
        KrelSystem::getInstance().putEnv(krel_test::MemoryPreferencesSelection::variable(), name);
    }

    int usingMessages(const std::wstring& name) const {
        const std::wstring text = L"Using " + name + L" PreferencesFactory.";
        int count = 0;
        for (const krel_std::LogEvent& event : appender->events) {
            count += event.message == text ? 1 : 0;
        }
        return count;
    }

    krel_test::MemoryPreferencesSelection selection;
};

TEST_F(PreferencesFactoryChoiceTest, SystemPropertyChoosesTheFactoryOfBothRoots) {
    MemoryPreferencesFactory& memory = MemoryPreferencesFactory::registered();
    EXPECT_EQ(memory.userRoot(), Preferences::userRoot());
    EXPECT_EQ(memory.systemRoot(), Preferences::systemRoot());
    setProperty(OtherPreferencesFactory::name());
    EXPECT_EQ(OtherPreferencesFactory::registered().userRoot(), Preferences::userRoot());
}

TEST_F(PreferencesFactoryChoiceTest, NonEmptyEnvironmentVariableWinsOverTheProperty) {
    setEnvironment(OtherPreferencesFactory::name());
    EXPECT_EQ(OtherPreferencesFactory::registered().userRoot(), Preferences::userRoot());
    setEnvironment(L"");
    EXPECT_EQ(MemoryPreferencesFactory::registered().userRoot(), Preferences::userRoot());
}

TEST_F(PreferencesFactoryChoiceTest, NameOfAnotherKindOfObjectIsRefusedUntilAGoodNameReturns) {
    setProperty(L"krel_std.Paths");
    EXPECT_EQ(L"Unable to get PreferencesFactory named <krel_std.Paths>.",
              messageOf<krel_std::KrelException>([] { Preferences::userRoot(); }));
    setProperty(L"krel_test.NoSuchFactory");
    EXPECT_THROW(Preferences::systemRoot(), krel_std::KrelAccessException);
    setProperty(MemoryPreferencesFactory::getClassNameStatic());
    EXPECT_EQ(MemoryPreferencesFactory::registered().userRoot(), Preferences::userRoot());
}

TEST_F(PreferencesFactoryChoiceTest, EachChangeOfNameIsLoggedOnce) {
    Preferences::userRoot();
    setProperty(OtherPreferencesFactory::name());
    Preferences::userRoot();
    Preferences::systemRoot();
    setProperty(L"krel_std.Paths");
    EXPECT_THROW(Preferences::userRoot(), krel_std::KrelAccessException);
    setProperty(OtherPreferencesFactory::name());
    Preferences::userRoot();
    EXPECT_EQ(1, usingMessages(OtherPreferencesFactory::name()));
    const int memoryBefore = usingMessages(MemoryPreferencesFactory::getClassNameStatic());
    setProperty(MemoryPreferencesFactory::getClassNameStatic());
    Preferences::userRoot();
    EXPECT_EQ(memoryBefore + 1, usingMessages(MemoryPreferencesFactory::getClassNameStatic()));
}

TEST_F(PreferencesFactoryChoiceTest, NodesKeepTheirBackEndWhenTheChoiceChanges) {
    const shared_ptr<Preferences> node = Preferences::userRoot()->node(L"kept");
    setProperty(OtherPreferencesFactory::name());
    node->put(L"k", L"v");
    EXPECT_EQ(L"v",
              MemoryPreferencesFactory::registered().userRoot()->node(L"kept")->get(L"k", L""));
    EXPECT_EQ(L"", Preferences::userRoot()->node(L"kept")->get(L"k", L""));
    EXPECT_EQ(L"System Preference Node: /kept", node->toString());
}

} // namespace
