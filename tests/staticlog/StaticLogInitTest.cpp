// The static log of this process is started once, from a configuration file, by initInstance;
// the tests then watch it run. Nothing here resets it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "exception/KrelIllegalStateException.h"
#include "log/RollingFileAppender.h"
#include "log/StaticLog.h"
#include "log/StaticLogFactory.h"
#include "platform/Utf16.h"
#include "support/LogConfigSupport.h"
#include "support/LogProbeClasses.h"
#include "system/KrelSystem.h"
#include "system/Paths.h"

using namespace krel_std;
using krel_test::ProbeAppender;
using krel_test::ProbeJournal;

namespace {

// What the configuration file holds; the tests edit the threshold, the probe's properties and
// the size of the rolling files. The rolling file appenders join when a log directory is set.
struct ScenarioConfig {
    std::string threshold = "DEBUG";
    std::string explode = "0";
    std::string colour = "red";
    std::string size = "1MB";
    std::string files = "1";
    std::string logDirectory;

    std::string text() const {
        return "[Debug Log]\nThreshold=" + threshold + "\n[Log Appenders]\n" + appenders +
               "appender.b.explode=" + explode + "\nappender.b.colour=" + colour + "\n" +
               rollingAppenders();
    }

    std::string rollingAppenders() const {
        if (logDirectory.empty()) {
            return std::string();
        }
        return "appender.r.class=krel_std.RollingFileAppender\n"
               "appender.r.filter=krel_std.DebugFileFilter\n"
               "appender.r.layout=krel_std.KrelLogLayout\n"
               "appender.r.path=" +
               logDirectory + "/Scenario.log\nappender.r.size=" + size +
               "\nappender.r.files=" + files +
               "\n"
               "appender.d.class=krel_std.RollingFileAppender\n"
               "appender.d.filter=krel_std.DebugFileFilter\n"
               "appender.d.layout=krel_std.KrelLogLayout\n"
               "appender.d.layout.debug=true\n"
               "appender.d.path=" +
               logDirectory + "/Scenario.dbg\n";
    }

    const char* appenders = "modules=krel_test_module\n"
                            "appender.b.class=krel_test.ProbeAppender\n"
                            "appender.b.filter=krel_std.DebugFileFilter\n"
                            "appender.b.tag=b\n"
                            "appender.a.class=krel_test.ProbeAppender\n"
                            "appender.a.filter=krel_std.LogFileFilter\n"
                            "appender.a.tag=a\n"
                            "appender.m.class=krel_test.ModuleAppender\n"
                            "appender.m.filter=krel_std.DebugFileFilter\n";
};

std::filesystem::path makeDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-staticlog-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? std::filesystem::path(pattern)
                                              : std::filesystem::path();
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether one line of the file holds both texts.
bool hasLineWith(const std::filesystem::path& file, const std::string& first,
                 const std::string& second) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(first) != std::string::npos && line.find(second) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void pointPathsAt(const std::filesystem::path& directory) {
    Paths::getInstance()->setPath(L"System Config Path Key",
                                  krel_platform::utf8ToWide(directory.string()));
}

class StaticLogInitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory = new std::filesystem::path(makeDirectory());
        config = new ScenarioConfig();
        config->logDirectory = (*directory / "log").string();
        krel_test::registerLogProbes();
        KrelSystem::getInstance().setProperty(
            L"Ext_Library_Path", krel_platform::utf8ToWide(krel_test::helpersDirectory()));
        pointPathsAt(*directory);
        krel_test::replaceFile(cfgFile(), config->text());
        StaticLog::initInstance(L"Scenario");
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(*directory, ignored);
    }

    // Each test waits with a listener of its own, told only of the changes of its own edits.
    void SetUp() override {
        waiter.reset(new krel_test::ChangeWaiter());
        StaticLog::addConfigurationListener(waiter);
    }

    void TearDown() override { StaticLog::removeConfigurationListener(waiter); }

    static std::filesystem::path cfgFile() { return *directory / "Scenario.cfg"; }

    static boost::shared_ptr<ProbeAppender> probe(const std::wstring& name) {
        return boost::dynamic_pointer_cast<ProbeAppender>(
            Singleton<StaticLogFactory>::getInstance().getAppender(name));
    }

    // Rewrites the file and waits until the log was told of the change of that key.
    bool edit(const std::wstring& key, const std::wstring& value) {
        krel_test::replaceFile(cfgFile(), config->text());
        return waiter->waitFor(key, value);
    }

    static std::filesystem::path* directory;
    static ScenarioConfig* config;
    boost::shared_ptr<krel_test::ChangeWaiter> waiter;
};

std::filesystem::path* StaticLogInitTest::directory = nullptr;
ScenarioConfig* StaticLogInitTest::config = nullptr;

TEST_F(StaticLogInitTest, ConfiguredAppendersReceiveEachEventInNameOrder) {
    StaticLog::log(WARN, L"Main::run", L"ordered", L"Host", L"", 1, L"Main.cpp", 3);
    std::vector<std::wstring> receivers;
    for (const std::wstring& entry : ProbeJournal::get()) {
        if (entry == L"a:ordered" || entry == L"b:ordered") {
            receivers.push_back(entry);
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"a:ordered", L"b:ordered"}), receivers);
}

TEST_F(StaticLogInitTest, AppenderOfTheConfiguredModuleIsBuilt) {
    EXPECT_TRUE(Singleton<StaticLogFactory>::getInstance().moduleLoaded(L"krel_test_module"));
    const auto module = Singleton<StaticLogFactory>::getInstance().getAppender(L"m");
    ASSERT_TRUE(module);
    EXPECT_EQ(L"ModuleAppender{tag=''}", module->toString());
}

TEST_F(StaticLogInitTest, ConfigPathIsTheCfgFileOfTheLogName) {
    EXPECT_EQ(krel_platform::utf8ToWide(cfgFile().string()), StaticLog::getConfigPath().getPath());
}

TEST_F(StaticLogInitTest, SecondInitInstanceChangesNothing) {
    StaticLog::initInstance(L"Other");
    EXPECT_EQ(L"Scenario", StaticLog::getModuleName());
    EXPECT_EQ(krel_platform::utf8ToWide(cfgFile().string()), StaticLog::getConfigPath().getPath());
}

TEST_F(StaticLogInitTest, ThresholdEditedWhileRunningTakesEffect) {
    config->threshold = "WARN";
    ASSERT_TRUE(edit(L"Threshold", L"WARN"));
    EXPECT_FALSE(StaticLog::isThresholdOn(INFO));
    EXPECT_TRUE(StaticLog::isThresholdOn(WARN));

    config->threshold = "DEBUG";
    ASSERT_TRUE(edit(L"Threshold", L"DEBUG"));
    EXPECT_TRUE(StaticLog::isThresholdOn(DEBUG));
}

TEST_F(StaticLogInitTest, RefusedEditIsTracedAndLaterChangesStillApply) {
    const auto b = probe(L"b");
    ASSERT_TRUE(b);
    // One edit whose first change the appender refuses and whose second it takes.
    config->explode = "1";
    config->colour = "blue";
    ASSERT_TRUE(edit(L"appender.b.colour", L"blue"));
    config->colour = "green";
    ASSERT_TRUE(edit(L"appender.b.colour", L"green"));

    const auto changes = b->getChanges();
    EXPECT_NE(changes.end(),
              std::find(changes.begin(), changes.end(),
                        std::make_pair(std::wstring(L"colour"), std::wstring(L"blue"))));
    EXPECT_NE(changes.end(),
              std::find(changes.begin(), changes.end(),
                        std::make_pair(std::wstring(L"colour"), std::wstring(L"green"))));
    bool traced = false;
    for (const std::wstring& entry : ProbeJournal::get()) {
        traced = traced || (entry.find(L"b:Unable to apply configuration change <") == 0 &&
                            entry.find(L"probe refused 1") != std::wstring::npos);
    }
    EXPECT_TRUE(traced);
}

TEST_F(StaticLogInitTest, EditedSizeReachesTheRunningRollingFileAppender) {
    const auto rolling = boost::dynamic_pointer_cast<RollingFileAppender>(
        Singleton<StaticLogFactory>::getInstance().getAppender(L"r"));
    ASSERT_TRUE(rolling);
    EXPECT_EQ(0x100000u, rolling->getMaximumSize());
    config->size = "3MB";
    ASSERT_TRUE(edit(L"appender.r.size", L"3MB"));
    EXPECT_EQ(0x300000u, rolling->getMaximumSize());
}

TEST_F(StaticLogInitTest, DebugRollingFileFollowsTheEditedThreshold) {
    config->threshold = "WARN";
    ASSERT_TRUE(edit(L"Threshold", L"WARN"));
    StaticLog::log(ERROR, L"Main::run", L"while closed", L"Host", L"", 1, L"Main.cpp", 5);
    config->threshold = "DEBUG";
    ASSERT_TRUE(edit(L"Threshold", L"DEBUG"));
    StaticLog::log(ERROR, L"Main::run", L"while open", L"Host", L"", 1, L"Main.cpp", 6);

    const std::string debugFile = readFile(*directory / "log" / "Scenario0001.dbg");
    EXPECT_EQ(std::string::npos, debugFile.find("while closed"));
    EXPECT_NE(std::string::npos, debugFile.find("while open"));
    // The plain appender kept its file open throughout.
    const std::string logFile = readFile(*directory / "log" / "Scenario0001.log");
    EXPECT_NE(std::string::npos, logFile.find("while closed"));
}

TEST_F(StaticLogInitTest, EditedSizeAndCountAreAnnouncedInTheLogAndDebugFiles) {
    config->size = "2MB";
    ASSERT_TRUE(edit(L"appender.r.size", L"2MB"));
    config->files = "4";
    ASSERT_TRUE(edit(L"appender.r.files", L"4"));

    for (const char* name : {"Scenario0001.log", "Scenario0001.dbg"}) {
        const std::filesystem::path file = *directory / "log" / name;
        EXPECT_TRUE(hasLineWith(file, " STD0009 ", "Maximum file size changed to: <2097152>."))
            << name;
        EXPECT_TRUE(hasLineWith(file, " STD0010 ", "Maximum file count changed to: <4>.")) << name;
    }
}

// A process of its own: initInstance from a file that does not exist.
TEST(StaticLogInitFailureDeathTest, FailedInitInstanceIsSwallowedAndCannotBeRepeated) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::filesystem::path empty = makeDirectory();
            pointPathsAt(empty);
            StaticLog::initInstance(L"Missing");
            bool sound = StaticLog::isThresholdOn(DEBUG) &&
                         StaticLog::getConfigPath().getPath() ==
                             krel_platform::utf8ToWide((empty / "Missing.cfg").string());
            krel_test::replaceFile(empty / "Present.cfg", ScenarioConfig().text());
            StaticLog::initInstance(L"Present");
            sound = sound && StaticLog::getModuleName() == L"Missing";
            std::exit(sound ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
