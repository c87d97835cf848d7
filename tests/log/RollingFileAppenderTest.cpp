#include "log/RollingFileAppender.h"

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationListener.h"
#include "config/KrelConfig.h"
#include "log/DebugFileFilter.h"
#include "log/ILogEventLayout.h"
#include "log/KrelLogLayout.h"
#include "log/LogEvent.h"
#include "log/LogTestSupport.h"
#include "log/StaticLog.h"
#include "log/StaticLogTestHook.h"
#include "platform/WinVersion.h"
#include "support/DebugOutputCapture.h"
#include "support/OtherAccount.h"
#include "support/RecordingLogTest.h"
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

// Remembers the last threshold it was told of; a test waits for a value.
class ThresholdListener : public krel_std::ConfigurationListener {
public:
    void onConfigChange(const ConfigurationChangeEvent& event) override {
        if (event.getKey() != L"Threshold") {
            return;
        }
        std::lock_guard<std::mutex> guard(mutex);
        threshold = event.getType() == ConfigurationChangeEvent::Removed ? L"" : event.getValue();
        changed.notify_all();
    }

    // False when the threshold did not become the value within ten seconds.
    bool waitFor(const std::wstring& value) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(10),
                                [&]() { return threshold == value; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::wstring threshold;
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

TEST_F(RollingFileAppenderTest, CharactersWhoseLowBitsAreAsciiAreNotTakenForAscii) {
    const auto appender = make({{L"path", L"app.log"}});
    std::wstring line(16, L'a');
    line[3] = static_cast<wchar_t>(0x10041);
    line[9] = static_cast<wchar_t>(0x141);
    append(*appender, line + std::wstring(16, L'b'));
    EXPECT_EQ("aaa?aaaaa?aaaaaa" + std::string(16, 'b') + "\n", body("logs/app0001.log"));
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
    const boost::shared_ptr<ThresholdListener> thresholds(new ThresholdListener());
    configuration.addConfigurationListener(boost::shared_ptr<krel_std::ConfigurationListener>(
        appender.get(), [](krel_std::ConfigurationListener*) {}));
    configuration.addConfigurationListener(thresholds);

    writeBytes("log.cfg", "[Debug Log]\r\nThreshold=DEBUG\r\n");
    ASSERT_TRUE(thresholds->waitFor(L"DEBUG"));
    std::filesystem::remove(native("logs/app0001.dbg"));
    writeBytes("log.cfg", "[Debug Log]\r\nThreshold=TRACE\r\n");
    ASSERT_TRUE(thresholds->waitFor(L"TRACE"));
    append(*appender, L"opened");
    EXPECT_EQ("opened\n", body("logs/app0001.dbg"));
}

TEST_F(RollingFileAppenderTest, ALogFileLinkThatAnotherAccountPlantedDropsTheLinesAndIsTold) {
    if (!krel_test::otherAccountUnavailable().empty()) {
        GTEST_SKIP() << krel_test::otherAccountUnavailable();
    }
    writeBytes("victim", "precious");
    std::filesystem::create_directories(native("logs"));
    ASSERT_EQ(0, chmod(root.c_str(), 0755));
    ASSERT_TRUE(krel_test::shareDirectory(native("logs")));
    ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), native("logs/Probe0001.log")));
    krel_test::DebugOutputCapture capture;
    const auto appender = make({{L"path", L"Probe.log"}});
    append(*appender, L"root's line");
    EXPECT_EQ("precious", readBytes("victim"));
    EXPECT_NE(std::wstring::npos, capture.all().find(L"Unable to open file: 5:Access is denied."))
        << capture.all();
}

TEST_F(RollingFileAppenderTest, ChangedFileCountIsAnnouncedThroughTheLog) {
    const krel_test::RecordingLog log;
    const boost::shared_ptr<krel_test::RecordingAppender>& recorder = log.appender;
    const auto appender = make({{L"path", L"app.log"}});
    recorder->events.clear();
    appender->setProperty(L"files", L"5");
    ASSERT_EQ(1u, recorder->events.size());
    EXPECT_EQ(L"STD0010", recorder->events[0].errorId);
    EXPECT_EQ(5u, appender->getMaximumFiles());
}

namespace {

// Threads log at once through the static log into one rolling file.
class ConcurrentRollingLogTest : public RollingFileAppenderTest {
protected:
    static constexpr int kThreads = 8;

    void startLog(const std::wstring& size, const std::wstring& files) {
        appender.reset(make({{L"path", L"app.log"}, {L"size", size}, {L"files", files}}).release());
        krel_std_internal::StaticLogTestHook::initialize(L"TestLog", {{L"rolling", appender}});
        krel_std_internal::StaticLogTestHook::setThreshold(krel_std::INFO);
    }

    // "T<thread> L<line> " and filler to 79 characters.
    static std::string lineText(int thread, int line) {
        std::string text = "T" + std::to_string(thread) + " L" + std::to_string(line) + " ";
        return text.append(79 - text.size(), 'x');
    }

    static void logLine(int thread, int line) {
        const std::string text = lineText(thread, line);
        krel_std::StaticLog::log(krel_std::INFO, L"Test::run",
                                 std::wstring(text.begin(), text.end()), L"", L"", 0, L"", 0);
    }

    // Runs `work(thread)` on kThreads threads started together.
    static void runThreads(const std::function<void(int)>& work) {
        std::vector<std::thread> threads;
        for (int thread = 0; thread < kThreads; ++thread) {
            threads.emplace_back(work, thread);
        }
        for (std::thread& each : threads) {
            each.join();
        }
    }

    // The bodies of the set's files app0001.log, app0002.log... in order, while they exist.
    std::vector<std::string> bodies() const {
        std::vector<std::string> found;
        for (int index = 1;; ++index) {
            char name[32];
            std::snprintf(name, sizeof(name), "logs/app%04d.log", index);
            if (!std::filesystem::exists(native(name))) {
                return found;
            }
            found.push_back(body(name));
        }
    }

    // How many lines of each thread the texts hold, each whole, once and in its thread's order
    // from the first; `malformed` counts the others. Padding blanks before a line are dropped.
    static std::vector<int> linesPerThread(const std::vector<std::string>& texts, int& malformed) {
        std::vector<int> next(kThreads, 0);
        malformed = 0;
        for (const std::string& text : texts) {
            std::istringstream stream(text);
            std::string line;
            while (std::getline(stream, line)) {
                const size_t start = line.find_first_not_of(' ');
                if (start == std::string::npos) {
                    continue;
                }
                line.erase(0, start);
                int thread = -1;
                int number = -1;
                if (std::sscanf(line.c_str(), "T%d L%d ", &thread, &number) != 2 || thread < 0 ||
                    thread >= kThreads || line != lineText(thread, number) ||
                    number != next[thread]) {
                    ++malformed;
                    continue;
                }
                ++next[thread];
            }
        }
        return next;
    }

    static void expectEveryLineOnceInOrder(const std::vector<std::string>& texts, int lines) {
        int malformed = 0;
        EXPECT_EQ(std::vector<int>(kThreads, lines), linesPerThread(texts, malformed));
        EXPECT_EQ(0, malformed);
    }

    boost::shared_ptr<krel_std::ILogAppender> appender;
};

} // namespace

TEST_F(ConcurrentRollingLogTest, LinesOfManyThreadsAreAllPresentWholeAndInOrder) {
    startLog(L"4MB", L"3");
    const int lines = 2000;
    runThreads([&](int thread) {
        for (int line = 0; line < lines; ++line) {
            logLine(thread, line);
        }
    });
    expectEveryLineOnceInOrder(bodies(), lines);
}

TEST_F(ConcurrentRollingLogTest, ALineIsInTheFileWhenItsCallReturns) {
    startLog(L"4MB", L"3");
    std::atomic<int> missing(0);
    runThreads([&](int thread) {
        for (int line = 0; line < 100; ++line) {
            logLine(thread, line);
            if (readBytes("logs/app0001.log").find(lineText(thread, line) + "\n") ==
                std::string::npos) {
                ++missing;
            }
        }
    });
    EXPECT_EQ(0, missing.load());
}

TEST_F(ConcurrentRollingLogTest, LinesOfManyThreadsRollOverAtTheSizeLimit) {
    startLog(L"1MB", L"10");
    // About 2.5 MiB of lines: two full files and a third begun.
    const int lines = 4000;
    runThreads([&](int thread) {
        for (int line = 0; line < lines; ++line) {
            logLine(thread, line);
        }
    });
    const std::vector<std::string> texts = bodies();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(0x100000u, std::filesystem::file_size(native("logs/app0001.log")));
    EXPECT_EQ(0x100000u, std::filesystem::file_size(native("logs/app0002.log")));
    expectEveryLineOnceInOrder(texts, lines);
}

namespace {

// Records how many threads are inside format at once.
class CountingLayout : public MessageLayout {
public:
    std::wstring format(const krel_std::LogEvent& event) override {
        const int now = ++inside;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        for (int turn = 0; turn < 8; ++turn) {
            std::this_thread::yield();
        }
        --inside;
        return MessageLayout::format(event);
    }

    std::atomic<int> inside{0};
    std::atomic<int> most{0};
};

// The static log's lines laid out by the library's own layout, which each logging thread runs
// before it takes the log's locks.
class PreparedRollingLogTest : public ConcurrentRollingLogTest {
protected:
    void startStampedLog(const std::wstring& size, const std::wstring& files) {
        startLog(size, files);
        appender->setLayout(
            boost::shared_ptr<krel_std::ILogEventLayout>(new krel_std::KrelLogLayout()));
    }

    // The texts with each line cut to what follows its time stamp and priority.
    static std::vector<std::string> messagesOf(const std::vector<std::string>& texts) {
        std::vector<std::string> messages;
        for (const std::string& text : texts) {
            std::istringstream stream(text);
            std::string line;
            std::string kept;
            while (std::getline(stream, line)) {
                const size_t priority = line.find(" INFO ");
                kept += (priority == std::string::npos ? line : line.substr(priority + 6)) + "\n";
            }
            messages.push_back(kept);
        }
        return messages;
    }

    static void logWide(const std::wstring& message) {
        krel_std::StaticLog::log(krel_std::INFO, L"Test::run", message, L"", L"", 0, L"", 0);
    }

    // The body's lines, each without its line feed.
    std::vector<std::string> bodyLines() const {
        std::vector<std::string> lines;
        std::istringstream stream(body("logs/app0001.log"));
        std::string line;
        while (std::getline(stream, line)) {
            lines.push_back(line);
        }
        return lines;
    }
};

} // namespace

TEST_F(PreparedRollingLogTest, LinesOfManyThreadsAreWholeAndInOrderThroughRollOvers) {
    startStampedLog(L"1MB", L"10");
    const int lines = 3000;
    runThreads([&](int thread) {
        for (int line = 0; line < lines; ++line) {
            logLine(thread, line);
        }
    });
    const std::vector<std::string> texts = bodies();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(0x100000u, std::filesystem::file_size(native("logs/app0001.log")));
    expectEveryLineOnceInOrder(messagesOf(texts), lines);
}

TEST_F(PreparedRollingLogTest, LineMadeBeforeTheLocksHasTheBytesOfOneMadeUnderThem) {
    startStampedLog(L"4MB", L"3");
    // The thread's first line is laid out under the locks, the next ones before them.
    for (int call = 0; call < 3; ++call) {
        logWide(L"caf\u00e9 \u20ac \u4e2d");
    }
    const std::vector<std::string> lines = bodyLines();
    ASSERT_EQ(3u, lines.size());
    for (const std::string& line : lines) {
        EXPECT_EQ("caf\xe9 \x80 ?", line.substr(line.find(" INFO ") + 6));
        EXPECT_EQ(lines.front().find(" INFO "), line.find(" INFO "));
    }
}

TEST_F(PreparedRollingLogTest, ChangedLayoutLaysOutTheNextLine) {
    startStampedLog(L"4MB", L"3");
    logWide(L"first");
    logWide(L"second");
    appender->setLayout(boost::shared_ptr<krel_std::ILogEventLayout>(new MessageLayout()));
    logWide(L"third");
    const std::vector<std::string> lines = bodyLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("third", lines.back());
}

TEST_F(PreparedRollingLogTest, LayoutOfAnotherClassIsNeverCalledByTwoThreadsAtOnce) {
    startLog(L"4MB", L"3");
    auto* counting = new CountingLayout();
    appender->setLayout(boost::shared_ptr<krel_std::ILogEventLayout>(counting));
    runThreads([&](int thread) {
        for (int line = 0; line < 300; ++line) {
            logLine(thread, line);
        }
    });
    EXPECT_EQ(1, counting->most.load());
    expectEveryLineOnceInOrder(bodies(), 300);
}
