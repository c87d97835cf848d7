#include "log/StaticLogFactory.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "base/Class.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "log/DebugFileFilter.h"
#include "log/LogEvent.h"
#include "platform/Utf16.h"
#include "support/LogProbeClasses.h"
#include "system/KrelSystem.h"

using namespace krel_std;
using krel_test::DebugOutputCapture;
using krel_test::ProbeAppender;
using krel_test::ProbeFilter;
using krel_test::PropertyMap;

namespace {

class StaticLogFactoryTest : public krel_test::StaticLogTest {
protected:
    void SetUp() override {
        StaticLogTest::SetUp();
        krel_test::registerLogProbes();
    }

    static StaticLogFactory& factory() { return Singleton<StaticLogFactory>::getInstance(); }

    static boost::shared_ptr<ProbeAppender> buildProbe(const std::wstring& name,
                                                       PropertyMap properties) {
        properties.emplace(L"class", L"krel_test.ProbeAppender");
        return boost::dynamic_pointer_cast<ProbeAppender>(
            factory().createAppender(name, properties));
    }

    // The message of the exception E that building the appender throws.
    template <typename E>
    static std::wstring failureOf(const std::wstring& name, const PropertyMap& properties) {
        try {
            factory().createAppender(name, properties);
        } catch (const E& e) {
            return e.getMessage();
        }
        return L"(nothing thrown)";
    }
};

TEST_F(StaticLogFactoryTest, AppenderGetsTheNamedFilterAndNoLayoutForAMissingOrNullOne) {
    const auto probe = buildProbe(L"noLayout", {{L"filter", L"krel_std.DebugFileFilter"}});
    ASSERT_TRUE(probe);
    EXPECT_TRUE(boost::dynamic_pointer_cast<DebugFileFilter>(probe->getFilter()));
    EXPECT_FALSE(probe->getLayout());
    EXPECT_FALSE(
        buildProbe(L"nullLayout", {{L"filter", L"krel_std.DebugFileFilter"}, {L"layout", L"NULL"}})
            ->getLayout());
}

TEST_F(StaticLogFactoryTest, AppenderReceivesEveryPropertyFilterOnlyItsOwnWithoutThePrefix) {
    const auto probe = buildProbe(L"props", {{L"filter", L"krel_test.ProbeFilter"},
                                             {L"filter.level", L"high"},
                                             {L"layout.debug", L"true"},
                                             {L"path", L"x.log"}});
    ASSERT_TRUE(probe);
    EXPECT_EQ(L"x.log", probe->properties.at(L"path"));
    EXPECT_EQ(L"high", probe->properties.at(L"filter.level"));
    const auto filter = boost::dynamic_pointer_cast<ProbeFilter>(probe->getFilter());
    ASSERT_TRUE(filter);
    EXPECT_EQ((PropertyMap{{L"level", L"high"}}), filter->properties);
}

TEST_F(StaticLogFactoryTest, DebugOutputAppenderBuiltByNameWritesThroughItsLayout) {
    const auto appender =
        factory().createAppender(L"debugOut", {{L"class", L"krel_std.OutputDebugAppender"},
                                               {L"filter", L"krel_std.LogFileFilter"},
                                               {L"layout", L"krel_std.KrelLogLayout"},
                                               {L"layout.debug", L"true"}});
    DebugOutputCapture capture;
    LogEvent shown(WARN);
    shown.message = L"built by name";
    shown.function = L"Probe::run";
    LogEvent dropped(DEBUG);
    dropped.message = L"below the filter";

    appender->append(shown);
    appender->append(dropped);

    const std::wstring text = capture.all();
    EXPECT_NE(std::wstring::npos, text.find(L"built by name"));
    EXPECT_NE(std::wstring::npos, text.find(L" Probe::run:")) << "layout.debug reaches the layout";
    EXPECT_EQ(std::wstring::npos, text.find(L"below the filter"));
}

TEST_F(StaticLogFactoryTest, MissingOrNullFilterIsRefused) {
    EXPECT_EQ(L"Filter cannot be NULL!",
              failureOf<KrelIllegalArgumentException>(
                  L"f", {{L"class", L"krel_std.OutputDebugAppender"}, {L"filter", L"NULL"}}));
    EXPECT_EQ(L"Filter cannot be NULL!", failureOf<KrelIllegalArgumentException>(
                                             L"f", {{L"class", L"krel_std.OutputDebugAppender"}}));
}

TEST_F(StaticLogFactoryTest, EmptyNameOrClassIsRefused) {
    const PropertyMap complete{{L"class", L"krel_std.OutputDebugAppender"},
                               {L"filter", L"krel_std.DebugFileFilter"}};
    EXPECT_EQ(L"name value is empty.", failureOf<KrelIllegalArgumentException>(L"", complete));
    EXPECT_EQ(L"Appender class name cannot be empty.",
              failureOf<KrelIllegalArgumentException>(
                  L"c", {{L"class", L""}, {L"filter", L"krel_std.DebugFileFilter"}}));
}

TEST_F(StaticLogFactoryTest, ClassesOfTheWrongKindOrUnregisteredAreNotFound) {
    EXPECT_EQ(
        L"Could not find class for name: krel_std.KrelLogLayout",
        failureOf<KrelObjectNotFoundException>(L"k", {{L"class", L"krel_std.KrelLogLayout"},
                                                      {L"filter", L"krel_std.DebugFileFilter"}}));
    EXPECT_EQ(
        L"Could not find class for name: krel_test.NoLayout",
        failureOf<KrelObjectNotFoundException>(L"k", {{L"class", L"krel_std.OutputDebugAppender"},
                                                      {L"filter", L"krel_std.DebugFileFilter"},
                                                      {L"layout", L"krel_test.NoLayout"}}));
    EXPECT_FALSE(factory().appenderExists(L"k"));
}

TEST_F(StaticLogFactoryTest, FailingBuildIsWrappedAndStoresNothing) {
    try {
        factory().createAppender(L"failing", {{L"class", L"krel_test.ProbeAppender"},
                                              {L"filter", L"krel_std.DebugFileFilter"},
                                              {L"fail", L"yes"}});
        FAIL() << "nothing thrown";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Could not create appender.: probe refused to build", e.getMessage());
        EXPECT_NE(nullptr, std::unique_ptr<KrelException>(e.getNestedException()));
    }
    EXPECT_FALSE(factory().appenderExists(L"failing"));
}

TEST_F(StaticLogFactoryTest, SecondBuildUnderANameReplacesTheStoredAppender) {
    const auto first = buildProbe(L"twice", {{L"filter", L"krel_std.DebugFileFilter"}});
    const auto second = buildProbe(L"twice", {{L"filter", L"krel_std.DebugFileFilter"}});
    EXPECT_NE(first, second);
    EXPECT_EQ(second, factory().getAppender(L"twice"));

    factory().removeAppender(L"twice");
    EXPECT_FALSE(factory().appenderExists(L"twice"));
    EXPECT_FALSE(factory().getAppender(L"twice"));
    EXPECT_THROW(factory().getAppender(L""), KrelIllegalArgumentException);
}

class LogModuleTest : public StaticLogFactoryTest {
protected:
    void SetUp() override {
        StaticLogFactoryTest::SetUp();
        KrelSystem::getInstance().setProperty(
            L"Ext_Library_Path", krel_platform::utf8ToWide(krel_test::helpersDirectory()));
    }
    void TearDown() override {
        KrelSystem::getInstance().setProperty(L"Ext_Library_Path", L"");
        StaticLogFactoryTest::TearDown();
    }
};

TEST_F(LogModuleTest, LoadedModuleRegistersClassesTheFactoryBuilds) {
    factory().loadModule(L"krel_test_module");
    ASSERT_TRUE(factory().moduleLoaded(L"krel_test_module"));

    const auto appender =
        factory().createAppender(L"fromModule", {{L"class", L"krel_test.ModuleAppender"},
                                                 {L"filter", L"krel_std.DebugFileFilter"},
                                                 {L"tag", L"t1"}});
    EXPECT_EQ(L"ModuleAppender{tag='t1'}", appender->toString());
}

TEST_F(LogModuleTest, LoadingALoadedModuleAgainDoesNothing) {
    factory().loadModule(L"krel_test_module");
    KrelSystem::getInstance().setProperty(L"Ext_Library_Path", L"");
    EXPECT_NO_THROW(factory().loadModule(L"krel_test_module"));
    EXPECT_TRUE(factory().moduleLoaded(L"krel_test_module"));
}

TEST_F(LogModuleTest, UnloadedModuleLeavesItsRegisteredClassesUsable) {
    factory().loadModule(L"krel_test_module");
    factory().unloadModule(L"krel_test_module");
    EXPECT_FALSE(factory().moduleLoaded(L"krel_test_module"));

    const auto appender =
        factory().createAppender(L"afterUnload", {{L"class", L"krel_test.ModuleAppender"},
                                                  {L"filter", L"krel_std.DebugFileFilter"},
                                                  {L"tag", L"t2"}});
    EXPECT_EQ(L"ModuleAppender{tag='t2'}", appender->toString());
}

TEST_F(LogModuleTest, ModuleThatCannotBeLocatedIsRefusedAndNotRecorded) {
    try {
        factory().loadModule(L"krel_no_such_module");
        FAIL() << "nothing thrown";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Unable to locate library <krel_no_such_module>", e.getMessage());
    }
    EXPECT_FALSE(factory().moduleLoaded(L"krel_no_such_module"));
}

} // namespace
