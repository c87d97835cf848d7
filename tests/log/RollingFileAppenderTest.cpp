#include "log/RollingFileAppender.h"

#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationListener.h"
#include "config/KrelConfig.h"
#include "log/DebugFileFilter.h"
#include "log/ILogEventLayout.h"
#include "log/LogEvent.h"
#include "log/LogTestSupport.h"
#include "log/StaticLogTestHook.h"
#include "platform/WinVersion.h"
#include "support/DebugOutputCapture.h"
#include "support/TempDirectory.h"
#include "system/Paths.h"

using krel_std::ConfigurationChangeEvent;
using krel_std::RollingFileAppender;

namespace {

// The event's message and a line feed.
class MessageLayout : public krel_std::ILogEventLayout {
public:
    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return new MessageLayout();
    }
    std::wstring format(const krel_std::LogEvent& event) override { return event.message + L"\n"; }
};

// Counts the configuration changes it is told of; a test waits for a count.
class ChangeCounter : public krel_std::ConfigurationListener {
public:
    void onConfigChange(const ConfigurationChangeEvent&) override {
        std::lock_guard<std::mutex> guard(mutex);
        ++changes;
        changed.notify_all();
    }

    // False when the count was not reached within ten seconds.
    bool waitFor(int count) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(10),
                                [&]() { return changes >= count; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int changes = 0;
};

class RollingFileAppenderTest : public TempDirectoryTest {
protected:
    using Properties = std::map<std::wstring, std::wstring>;

    void SetUp() override {
        TempDirectoryTest::SetUp();
        krel_std_internal::StaticLogTestHook::reset();
        krel_std::Paths::getInstance()->setPath(L"System Log Path Key", path("logs"));
    }

    void TearDown() override {
        krel_std_internal::StaticLogTestHook::reset();
        TempDirectoryTest::TearDown();
    }

    static std::unique_ptr<RollingFileAppender> make(const Properties& properties) {
        RollingFileAppender prototype;
        std::unique_ptr<RollingFileAppender> appender(
            dynamic_cast<RollingFileAppender*>(prototype.newInstance(properties)));
        appender->setFilter(
            boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter()));
        appender->setLayout(boost::shared_ptr<krel_std::ILogEventLayout>(new MessageLayout()));
        return appender;
    }

    static void append(RollingFileAppender& appender, const std::wstring& message) {
        krel_std::LogEvent event(krel_std::INFO);
        event.message = message;
        appender.append(event);
    }

    // The file's bytes after the header block.
    std::string body(const std::string& name) const {
        const std::string text = readBytes(name);
        const size_t end = text.rfind("VERSION INFO: ");
        return end == std::string::npos ? text : text.substr(text.find('\n', end) + 1);
    }

    static ConfigurationChangeEvent threshold(ConfigurationChangeEvent::ChangeType type,
                                              const std::wstring& value) {
        return ConfigurationChangeEvent(krel_std::File(), type, L"Debug Log", L"Threshold", value);
    }
};

} // namespace

TEST_F(RollingFileAppenderTest, SizesAndCountsBelowTheMinimumsAreRaised) {
    const auto appender = make({{L"path", L"app.log"}, {L"size", L"10KB"}, {L"files", L"0"}});
    EXPECT_EQ(0x100000u, appender->getMaximumSize());
    EXPECT_EQ(1u, appender->getMaximumFiles());
}

TEST_F(RollingFileAppenderTest, QuotedBareFileNameGoesIntoTheLogDirectory) {
    const auto appender = make({{L"path", L"\"app.log\""}, {L"size", L"2MB"}, {L"files", L"4"}});
    EXPECT_EQ(0x200000u, appender->getMaximumSize());
    EXPECT_EQ(4u, appender->getMaximumFiles());
    append(*appender, L"hello");
    EXPECT_EQ("hello\n", body("logs/app0001.log"));
}

TEST_F(RollingFileAppenderTest, WithoutPathTheFileIsNamedAfterTheLog) {
    krel_std_internal::StaticLogTestHook::initialize(L"KrelStd", {});
    make({});
    make({{L"layout.debug", L"true"}});
    EXPECT_TRUE(std::filesystem::exists(native("logs/KrelStd0001.log")));
    EXPECT_TRUE(std::filesystem::exists(native("logs/KrelStd0001.dbg")));
}

TEST_F(RollingFileAppenderTest, PathWithoutExtensionLeavesTheFileClosedAndDropsLines) {
    const auto appender = make({{L"path", L"noextension"}});
    append(*appender, L"lost");
    EXPECT_FALSE(std::filesystem::exists(native("logs/noextension")));
}

TEST_F(RollingFileAppenderTest, EveryFileBeginsWithTheVersionInformationHeader) {
    const auto appender = make({{L"path", L"app.log"}});
    const std::string text = readBytes("logs/app0001.log");
    size_t lines = 0;
    for (size_t start = 0; start < text.size(); start = text.find('\n', start) + 1) {
        EXPECT_EQ(0u, text.compare(start, 14, "VERSION INFO: ")) << text;
        ++lines;
    }
    EXPECT_EQ(9 + krel_platform::loadedModules().size(), lines);
    EXPECT_NE(std::string::npos, text.find("VERSION INFO: Max file size <1048576>.\n"));
    EXPECT_NE(std::string::npos, text.find("VERSION INFO: Debug threshold <DEBUG>.\n"));
}

TEST_F(RollingFileAppenderTest, LinesAreWindows1252BytesWithBareLineFeeds) {
    const auto appender = make({{L"path", L"app.log"}});
    append(*appender, L"caf\u00e9 \u20ac \u4e00");
    EXPECT_EQ("caf\xe9 \x80 ?\n", body("logs/app0001.log"));
}

TEST_F(RollingFileAppenderTest, LongLinesConvertAroundTheAsciiEdgeCharacterByCharacter) {
    const auto appender = make({{L"path", L"app.log"}});
    const std::wstring edges{static_cast<wchar_t>(0x80), static_cast<wchar_t>(0x81),
                             static_cast<wchar_t>(0xFF), static_cast<wchar_t>(0x20AC),
                             static_cast<wchar_t>(0x80000000u)};
    append(*appender, std::wstring(16, L'a') + L'\x7f' + std::wstring(15, L'b') + edges +
                          std::wstring(20, L'c'));
    EXPECT_EQ(std::string(16, 'a') + '\x7f' + std::string(15, 'b') + "?\x81\xff\x80?" +
                  std::string(20, 'c') + "\n",
              body("logs/app0001.log"));
}

TEST_F(RollingFileAppenderTest, LineEndsAtItsFirstNul) {
    const auto appender = make({{L"path", L"app.log"}});
    const std::wstring start(40, L'a');
    append(*appender, start + std::wstring(L"caf\u00e9\0lost", 10));
    append(*appender, L"next");
    EXPECT_EQ(std::string(40, 'a') + "caf\xe9next\n", body("logs/app0001.log"));
}

TEST_F(RollingFileAppenderTest, LineLongerThanTheLimitIsLostAndTheAppenderStays) {
    const auto appender = make({{L"path", L"app.log"}});
    append(*appender, std::wstring(0x100000 + 1, L'x'));
    append(*appender, L"after");
    EXPECT_EQ("after\n", body("logs/app0001.log"));
}

TEST_F(RollingFileAppenderTest, ChangedSizeIsAnnouncedAndAnEqualOneIsNot) {
    const auto appender = make({{L"path", L"app.log"}});
    krel_test::DebugOutputCapture capture;
    appender->setProperty(L"size", L"1MB");
    EXPECT_EQ(std::wstring::npos, capture.all().find(L"Maximum file size changed"));
    appender->setProperty(L"size", L"2MB");
    EXPECT_NE(std::wstring::npos, capture.all().find(L"Maximum file size changed to: <2097152>."));
    EXPECT_EQ(0x200000u, appender->getMaximumSize());
}

TEST_F(RollingFileAppenderTest, DebugAppenderOpensAndClosesWithTheDebugThreshold) {
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::INFO);
    const auto appender = make({{L"path", L"app.dbg"}, {L"layout.debug", L"true"}});
    append(*appender, L"before");
    appender->onConfigChange(threshold(ConfigurationChangeEvent::Changed, L"DEBUG"));
    append(*appender, L"during");
    appender->onConfigChange(threshold(ConfigurationChangeEvent::Removed, L"DEBUG"));
    append(*appender, L"after");
    EXPECT_EQ("during\n", body("logs/app0001.dbg"));
}

TEST_F(RollingFileAppenderTest, AlwaysOpenDebugAppenderStaysOpenAtThresholdInfo) {
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::INFO);
    const auto appender =
        make({{L"path", L"app.dbg"}, {L"layout.debug", L"true"}, {L"always_open", L"true"}});
    appender->onConfigChange(threshold(ConfigurationChangeEvent::Changed, L"WARN"));
    append(*appender, L"kept");
    EXPECT_TRUE(appender->getAlwaysOpen());
    EXPECT_EQ("kept\n", body("logs/app0001.dbg"));
}

TEST_F(RollingFileAppenderTest, FailedChangeIsSwallowedAndTheWatcherGoesOn) {
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::INFO);
    const auto appender = make({{L"path", L"app.dbg"}, {L"layout.debug", L"true"}});
    // A directory where the file should be: opening it fails.
    std::filesystem::create_directories(native("logs/app0001.dbg"));
    writeBytes("log.cfg", "[Debug Log]\r\nThreshold=INFO\r\n");
    krel_std::KrelConfig configuration(path("log.cfg"));
    configuration.load();
    const boost::shared_ptr<ChangeCounter> counter(new ChangeCounter());
    configuration.addConfigurationListener(boost::shared_ptr<krel_std::ConfigurationListener>(
        appender.get(), [](krel_std::ConfigurationListener*) {}));
    configuration.addConfigurationListener(counter);

    writeBytes("log.cfg", "[Debug Log]\r\nThreshold=DEBUG\r\n");
    ASSERT_TRUE(counter->waitFor(1));
    std::filesystem::remove(native("logs/app0001.dbg"));
    writeBytes("log.cfg", "[Debug Log]\r\nThreshold=TRACE\r\n");
    ASSERT_TRUE(counter->waitFor(2));
    append(*appender, L"opened");
    EXPECT_EQ("opened\n", body("logs/app0001.dbg"));
}

TEST_F(RollingFileAppenderTest, ChangedFileCountIsAnnouncedThroughTheLog) {
    const boost::shared_ptr<krel_test::RecordingAppender> recorder(new krel_test::RecordingAppender(
        boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter())));
    krel_std_internal::StaticLogTestHook::initialize(L"TestLog", {{L"a", recorder}});
    const auto appender = make({{L"path", L"app.log"}});
    recorder->events.clear();
    appender->setProperty(L"files", L"5");
    ASSERT_EQ(1u, recorder->events.size());
    EXPECT_EQ(L"STD0010", recorder->events[0].errorId);
    EXPECT_EQ(5u, appender->getMaximumFiles());
}
