#include "log/StaticLogConfig.h"

#include <gtest/gtest.h>
#include <memory>

#include "exception/KrelIOException.h"
#include "log/LogTestSupport.h"
#include "log/StaticLogFactory.h"
#include "platform/Utf16.h"
#include "support/DebugOutputCapture.h"
#include "support/LogProbeClasses.h"
#include "support/TempDirectory.h"
#include "system/KrelSystem.h"
#include "system/Paths.h"

using namespace krel_std;
using krel_std_internal::StaticLogTestHook;
using krel_test::DebugOutputCapture;
using krel_test::ProbeAppender;
using krel_test::PropertyMap;

namespace {

const char* const PROBE_APPENDER = "[Log Appenders]\n"
                                   "appender.a.class=krel_test.ProbeAppender\n"
                                   "appender.a.filter=krel_std.DebugFileFilter\n";

// Each test reads "TestLog.cfg" from its own temporary directory, with the static log as the
// load hook leaves it.
class StaticLogConfigTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        StaticLogTestHook::reset();
        krel_test::registerLogProbes();
        Paths::getInstance()->setPath(L"System Config Path Key", path());
    }

    void TearDown() override {
        StaticLogTestHook::reset();
        TempDirectoryTest::TearDown();
    }

    std::unique_ptr<StaticLogConfig> initialize(const std::string& text) {
        writeBytes("TestLog.cfg", text);
        std::unique_ptr<StaticLogConfig> config(new StaticLogConfig());
        config->initialize(L"TestLog");
        return config;
    }

    LogEventPriority thresholdOf(const std::string& text) {
        initialize(text);
        return StaticLog::getThreshold();
    }

    static boost::shared_ptr<ProbeAppender> probe(StaticLogConfig& config,
                                                  const std::wstring& name) {
        const auto found = config.getAppenders().find(name);
        return found == config.getAppenders().end()
                   ? boost::shared_ptr<ProbeAppender>()
                   : boost::dynamic_pointer_cast<ProbeAppender>(found->second);
    }

    ConfigurationChangeEvent
    change(const std::wstring& section, const std::wstring& key, const std::wstring& value,
           ConfigurationChangeEvent::ChangeType type = ConfigurationChangeEvent::Changed) {
        return ConfigurationChangeEvent(File(path("TestLog.cfg")), type, section, key, value);
    }
};

TEST_F(StaticLogConfigTest, FileIsTheLogNameWithCfgInTheConfiguredDirectory) {
    const auto config = initialize("[Debug Log]\nThreshold=WARN\n");
    EXPECT_EQ(path("TestLog.cfg"), config->getConfig().getPath().getPath());
    EXPECT_EQ(WARN, StaticLog::getThreshold());
}

TEST_F(StaticLogConfigTest, MissingFileIsAnIOError) {
    StaticLogConfig config;
    try {
        config.initialize(L"Absent");
        FAIL() << "nothing thrown";
    } catch (const KrelIOException& e) {
        EXPECT_EQ(0u, e.getMessage().find(L"Unable to load StaticLog config file."));
        EXPECT_NE(nullptr, std::unique_ptr<KrelException>(e.getNestedException()));
    }
}

TEST_F(StaticLogConfigTest, ThresholdIsAnExactPriorityNameOrInfo) {
    EXPECT_EQ(INFO, thresholdOf("[Debug Log]\n"));
    EXPECT_EQ(INFO, thresholdOf("[Debug Log]\nThreshold=debug\n"));
    EXPECT_EQ(TRACE, thresholdOf("[Debug Log]\nThreshold=TRACE\n"));
}

TEST_F(StaticLogConfigTest, ByteOrderMarkBeforeTheDebugLogSectionKeepsItsThreshold) {
    EXPECT_EQ(WARN, thresholdOf("\xEF\xBB\xBF[Debug Log]\r\nThreshold=WARN\r\n"));
}

TEST_F(StaticLogConfigTest, AppenderKeysSplitIntoNameAndDottedProperty) {
    const auto config = initialize("[Log Appenders]\n"
                                   "appender.F.layout.debug=true\n"
                                   "appender.F.path=x.log\n"
                                   "appender.G=no property\n"
                                   "appender..x=no name\n"
                                   "Appender.H.class=other case\n"
                                   "modules=\n");
    const StaticLogConfig::AppenderPropertyMap expected{
        {L"F", {{L"layout.debug", L"true"}, {L"path", L"x.log"}}}};
    EXPECT_EQ(expected, config->getAppenderProperties());
}

TEST_F(StaticLogConfigTest, ReferencesTakeTheValueOfTheEntryTheyName) {
    const auto config = initialize("base=/top\n"
                                   "[Paths]\n"
                                   "dir=/named\n"
                                   "[Log Appenders]\n"
                                   "appender.F.a={Paths,dir}\n"
                                   "appender.F.b={ Paths , dir }\n"
                                   "appender.F.c={base}\n"
                                   "appender.F.d={ base }\n"
                                   "appender.F.e={Paths,missing}\n"
                                   "appender.F.f={}\n"
                                   "appender.F.g={Paths,dir\n");
    const PropertyMap expected{{L"a", L"/named"},    {L"b", L"/named"}, {L"c", L"/top"},
                               {L"d", L"/top"},      {L"e", L""},       {L"f", L"{}"},
                               {L"g", L"{Paths,dir"}};
    EXPECT_EQ(expected, config->getAppenderProperties()[L"F"]);
}

TEST_F(StaticLogConfigTest, AppendersAreBuiltByNameAndOneThatFailsIsTracedAndSkipped) {
    DebugOutputCapture capture;
    const auto config = initialize("[Log Appenders]\n"
                                   "appender.b.class=krel_test.ProbeAppender\n"
                                   "appender.b.filter=krel_std.DebugFileFilter\n"
                                   "appender.c.class=krel_test.ProbeAppender\n"
                                   "appender.a.class=krel_test.ProbeAppender\n"
                                   "appender.a.filter=krel_std.LogFileFilter\n"
                                   "appender.a.layout=krel_std.KrelLogLayout\n");
    std::vector<std::wstring> names;
    for (const auto& entry : config->getAppenders()) {
        names.push_back(entry.first);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b"}), names);
    EXPECT_TRUE(probe(*config, L"a")->getLayout());
    EXPECT_NE(std::wstring::npos,
              capture.all().find(L"Unable to load appender c: Filter cannot be NULL!"));
}

TEST_F(StaticLogConfigTest, EveryAppenderFailingLeavesNone) {
    const auto config = initialize("[Log Appenders]\n"
                                   "appender.a.class=krel_test.Unknown\n"
                                   "appender.a.filter=krel_std.DebugFileFilter\n"
                                   "appender.b.filter=krel_std.DebugFileFilter\n");
    EXPECT_TRUE(config->getAppenders().empty());
}

TEST_F(StaticLogConfigTest, ModuleListSplitsAtCommaRunsAndKeepsBlanks) {
    KrelSystem::getInstance().setProperty(L"Ext_Library_Path",
                                          krel_platform::utf8ToWide(krel_test::helpersDirectory()));
    DebugOutputCapture capture;
    initialize("[Log Appenders]\nmodules=krel_test_module,, krel_test_module\n");
    KrelSystem::getInstance().setProperty(L"Ext_Library_Path", L"");

    EXPECT_TRUE(Singleton<StaticLogFactory>::getInstance().moduleLoaded(L"krel_test_module"));
    EXPECT_NE(std::wstring::npos,
              capture.all().find(L"Unable to load  krel_test_module: <Unable to locate library "
                                 L"< krel_test_module>>"));
}

TEST_F(StaticLogConfigTest, ThresholdChangeTakesEffectAndIsLogged) {
    const auto config = initialize("[Debug Log]\nThreshold=WARN\n");
    DebugOutputCapture capture;
    config->onConfigChange(change(L"Debug Log", L"Threshold", L"TRACE"));
    EXPECT_EQ(TRACE, StaticLog::getThreshold());

    config->onConfigChange(
        change(L"Debug Log", L"Threshold", L"TRACE", ConfigurationChangeEvent::Removed));
    EXPECT_EQ(INFO, StaticLog::getThreshold());
    EXPECT_NE(std::wstring::npos,
              capture.all().find(L"INFO : Debugging threshold changed to: <INFO>.\n"));
}

TEST_F(StaticLogConfigTest, AppenderEntryChangeHandsOverTheWrittenValue) {
    const auto config = initialize(std::string(PROBE_APPENDER) + "appender.a.path={Paths,dir}\n");
    config->onConfigChange(change(L"Log Appenders", L"appender.a.path", L"{Other,key}"));
    config->onConfigChange(change(L"Log Appenders", L"appender.z.path", L"/unbuilt"));
    config->onConfigChange(change(L"Log Appenders", L"modules", L"m"));
    const std::vector<std::pair<std::wstring, std::wstring>> expected{{L"path", L"{Other,key}"}};
    EXPECT_EQ(expected, probe(*config, L"a")->getChanges());
}

TEST_F(StaticLogConfigTest, ChangeOfAReferencedEntryReachesTheReferringProperty) {
    const auto config = initialize("[Paths]\ndir=/old\n" + std::string(PROBE_APPENDER) +
                                   "appender.a.path={ Paths , dir }\n");
    config->onConfigChange(change(L"Paths", L"dir", L"/new"));
    config->onConfigChange(change(L"Paths", L"other", L"/ignored"));
    const std::vector<std::pair<std::wstring, std::wstring>> expected{{L"path", L"/new"}};
    EXPECT_EQ(expected, probe(*config, L"a")->getChanges());
}

TEST_F(StaticLogConfigTest, RefusedChangeIsTracedAndDoesNotEscape) {
    const auto config = initialize(PROBE_APPENDER);
    DebugOutputCapture capture;
    EXPECT_NO_THROW(config->onConfigChange(change(L"Log Appenders", L"appender.a.explode", L"1")));
    EXPECT_NE(std::wstring::npos, capture.all().find(L"Unable to apply configuration change <"));
    EXPECT_NE(std::wstring::npos, capture.all().find(L"probe refused 1"));
}

} // namespace
