#include "config/KrelConfig.h"

#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ConfigTestSupport.h"
#include "base/ByteArray.h"
#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationListener.h"
#include "config/ConfigurationSection.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/DebugOutput.h"

using krel_std::ConfigurationChangeEvent;
using krel_std::ConfigurationSection;
using krel_std::File;
using krel_std::KrelConfig;

namespace {

const auto PATIENCE = std::chrono::seconds(10);

// Records each event as "<type> [<section>] <key>=<value>" and lets a test wait for a count.
class RecordingListener : public krel_std::ConfigurationListener {
public:
    void onConfigChange(const ConfigurationChangeEvent& event) override {
        std::wstring text = ConfigurationChangeEvent::typeToString(event.getType()) + L" [" +
                            event.getSection() + L"] " + event.getKey() + L"=" + event.getValue();
        if (duringCall) {
            duringCall(event);
        }
        std::lock_guard<std::mutex> guard(mutex);
        events.push_back(text);
        arrived.notify_all();
    }

    // True once at least count events have arrived, false when the wait ran out.
    bool waitFor(std::size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, PATIENCE, [&] { return events.size() >= count; });
    }

    std::vector<std::wstring> heard() {
        std::lock_guard<std::mutex> guard(mutex);
        return events;
    }

    std::function<void(const ConfigurationChangeEvent&)> duringCall;

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::wstring> events;
};

// Counts the library's debugger output lines that carry one of the given texts, and lets a test
// wait for the first of them.
class DebugTextCounter {
public:
    explicit DebugTextCounter(std::vector<std::wstring> wanted) : wanted(std::move(wanted)) {
        counts.resize(this->wanted.size());
        krel_platform::setDebugOutputHook([this](const std::wstring& text) {
            std::lock_guard<std::mutex> guard(mutex);
            for (std::size_t i = 0; i < this->wanted.size(); ++i) {
                if (text.find(this->wanted[i]) != std::wstring::npos) {
                    ++counts[i];
                    found.notify_all();
                }
            }
        });
    }
    ~DebugTextCounter() { krel_platform::setDebugOutputHook(nullptr); }

    bool waitForFirst(std::size_t text) {
        std::unique_lock<std::mutex> guard(mutex);
        return found.wait_for(guard, PATIENCE, [&] { return counts[text] > 0; });
    }

    int count(std::size_t text) {
        std::lock_guard<std::mutex> guard(mutex);
        return counts[text];
    }

private:
    const std::vector<std::wstring> wanted;
    std::mutex mutex;
    std::condition_variable found;
    std::vector<int> counts;
};

const wchar_t* const FAILED_ATTEMPT = L"Unable to load configuration: ";
const wchar_t* const GAVE_UP = L"Unable to load configuration after <5> attempts, giving up.";

using Events = std::vector<std::wstring>;

class KrelConfigTest : public config_test::TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        listener.reset(new RecordingListener);
    }

    // Gives the file new content in one step, as an editor's save by rename does, so the
    // watcher never sees it half written.
    void replaceFile(const std::string& name, const std::string& text) {
        writeBytes(name + ".new", text);
        std::filesystem::rename(native(name + ".new"), native(name));
    }

    // A configuration of the file with the given content, loaded and listened to.
    std::unique_ptr<KrelConfig> watched(const std::string& name, const std::string& text) {
        writeBytes(name, text);
        std::unique_ptr<KrelConfig> config(new KrelConfig(path(name)));
        config->load();
        config->addConfigurationListener(listener);
        return config;
    }

    // Every event up to and including the one reporting a key added after the change under
    // test: with it, the reports of that change are known to be complete.
    Events eventsUpToSentinel(const std::string& name, const std::string& text) {
        const std::size_t before = listener->heard().size();
        replaceFile(name, "sentinel=1\n" + text);
        const std::wstring sentinel = L"Added [] sentinel=1";
        for (std::size_t count = before + 1; listener->waitFor(count); ++count) {
            const Events events = listener->heard();
            if (events.back() == sentinel) {
                return events;
            }
        }
        ADD_FAILURE() << "the sentinel key was never reported";
        return listener->heard();
    }

    boost::shared_ptr<RecordingListener> listener;
};

// The setters report on the caller's thread.

TEST_F(KrelConfigTest, SetValueReportsNewAndChangedValuesButNotTheStoredOne) {
    KrelConfig config(path("a.ini"));
    config.addConfigurationListener(listener);
    config.setValue(L"k", L"1", L"s");
    config.setValue(L"k", L"1", L"s");
    config.setValue(L"k", L"2", L"s");
    config.setValue(L"empty", L"", L"s");
    EXPECT_EQ((Events{L"Added [s] k=1", L"Changed [s] k=2", L"Added [s] empty="}),
              listener->heard());
}

TEST_F(KrelConfigTest, AddSectionReportsKeysWhoseValueDiffersAndStoresAll) {
    KrelConfig config(path("a.ini"));
    config.setValue(L"same", L"1", L"s");
    config.setValue(L"old", L"1", L"s");
    config.addConfigurationListener(listener);
    ConfigurationSection section(L"s");
    section.setValue(L"same", L"1");
    section.setValue(L"old", L"2");
    section.setValue(L"new", L"3");
    section.setValue(L"blank", L"");
    section.appendElement(krel_std::ConfigurationElement(L"a comment"));
    config.addSection(section);
    EXPECT_EQ((Events{L"Changed [s] old=2", L"Added [s] new=3"}), listener->heard());
    EXPECT_TRUE(config.containsKey(L"blank", L"s"));
    EXPECT_EQ((krel_std::Configuration::StringList{L"same", L"old", L"new", L"blank"}),
              config.getKeys(L"s"));
}

// A listener that needs another thread to read the configuration finishes only when the
// configuration's lock is not held during the report.
TEST_F(KrelConfigTest, SettersReportWithoutHoldingTheLock) {
    KrelConfig config(path("a.ini"));
    config.addConfigurationListener(listener);
    std::vector<bool> readByAnotherThread;
    listener->duringCall = [&](const ConfigurationChangeEvent& event) {
        struct ReadState {
            std::mutex mutex;
            std::condition_variable done;
            bool read = false;
        };
        const auto state = std::make_shared<ReadState>();
        std::thread reader([&config, state, event] {
            config.getValue(event.getKey(), event.getSection());
            std::lock_guard<std::mutex> guard(state->mutex);
            state->read = true;
            state->done.notify_all();
        });
        std::unique_lock<std::mutex> guard(state->mutex);
        const bool read = state->done.wait_for(guard, PATIENCE, [&] { return state->read; });
        guard.unlock();
        readByAnotherThread.push_back(read);
        // A reader still waiting for the lock gets it once the report is over.
        read ? reader.join() : reader.detach();
    };
    config.setValue(L"a", L"1");
    ConfigurationSection section(L"s");
    section.setValue(L"b", L"2");
    config.addSection(section);
    config.removeValue(L"a");
    config.removeSection(L"s");
    EXPECT_EQ((std::vector<bool>{true, true, true, true}), readByAnotherThread);
}

TEST_F(KrelConfigTest, RemoveSectionReportsEachKeyWithItsOldValue) {
    KrelConfig config(path("a.ini"));
    config.setValue(L"a", L"1");
    config.setValue(L"b", L"2", L"named");
    config.setValue(L"c", L"3", L"named");
    config.addConfigurationListener(listener);
    EXPECT_FALSE(config.removeSection(L"missing"));
    EXPECT_TRUE(config.removeSection(L"named"));
    EXPECT_TRUE(config.removeSection(L""));
    EXPECT_EQ((Events{L"Removed [named] b=2", L"Removed [named] c=3", L"Removed [] a=1"}),
              listener->heard());
    EXPECT_EQ((krel_std::Configuration::StringList{L""}), config.getSectionNames());
}

TEST_F(KrelConfigTest, RemoveValueReportsButRemoveKeyValueDoesNot) {
    KrelConfig config(path("a.ini"));
    config.setValue(L"a", L"1");
    config.setValue(L"b", L"2");
    config.addConfigurationListener(listener);
    EXPECT_TRUE(config.removeValue(L"a"));
    EXPECT_FALSE(config.removeValue(L"a"));
    EXPECT_TRUE(config.removeKeyValue(L"b"));
    EXPECT_EQ((Events{L"Removed [] a=1"}), listener->heard());
    EXPECT_FALSE(config.containsKey(L"b"));
}

TEST_F(KrelConfigTest, ListenerAddedTwiceIsToldOnceAndEmptyListenerIsIgnored) {
    KrelConfig config(path("a.ini"));
    config.addConfigurationListener(listener);
    config.addConfigurationListener(listener);
    config.addConfigurationListener(boost::shared_ptr<krel_std::ConfigurationListener>());
    config.setValue(L"a", L"1");
    EXPECT_EQ(1u, listener->heard().size());
    EXPECT_EQ(L"KrelConfig{path='" + File(path("a.ini")).getPath() + L"'}", config.toString());
}

// Changes on disk reach the listeners through the file watcher.

TEST_F(KrelConfigTest, ReloadReportsOneEventPerAddedRemovedOrChangedKey) {
    const auto config = watched("a.ini", "a=1\nb=2\n[s]\nc=3\n");
    const std::string changed = "a=1\nb=20\nd=4\n[t]\nc=3\n";
    replaceFile("a.ini", changed);
    ASSERT_TRUE(listener->waitFor(4));
    EXPECT_EQ((Events{L"Changed [] b=20", L"Removed [s] c=3", L"Added [] d=4", L"Added [t] c=3",
                      L"Added [] sentinel=1"}),
              eventsUpToSentinel("a.ini", changed));
    EXPECT_EQ(L"20", config->getValue(L"b"));
    EXPECT_FALSE(config->containsSection(L"s"));
}

// As "cat new > a.ini" or an editor that saves in place: truncated first, written a moment later.
TEST_F(KrelConfigTest, FileRewrittenInPlaceIsReadOnceWithItsFinalContent) {
    const auto config = watched("a.ini", "a=1\nb=2\n");
    {
        std::ofstream out(native("a.ini"), std::ios::binary | std::ios::trunc);
        out.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        out << "a=1\nb=3\n";
    }
    EXPECT_EQ((Events{L"Changed [] b=3", L"Added [] sentinel=1"}),
              eventsUpToSentinel("a.ini", "a=1\nb=3\n"));
}

TEST_F(KrelConfigTest, AddedCommentReportsNothing) {
    const auto config = watched("a.ini", "a=1\n");
    replaceFile("a.ini", "# note\na=1\n\n");
    EXPECT_EQ((Events{L"Added [] sentinel=1"}), eventsUpToSentinel("a.ini", "# note\na=1\n\n"));
}

TEST_F(KrelConfigTest, DeletedFileReportsEveryKeyRemovedAndEmptiesTheConfiguration) {
    const auto config = watched("a.ini", "a=1\n[s]\nb=2\n");
    std::filesystem::remove(native("a.ini"));
    ASSERT_TRUE(listener->waitFor(2));
    EXPECT_EQ((Events{L"Removed [] a=1", L"Removed [s] b=2"}), listener->heard());
    EXPECT_EQ((krel_std::Configuration::StringList{L""}), config->getSectionNames());
    EXPECT_TRUE(config->getKeys().empty());
}

TEST_F(KrelConfigTest, FileHeldByAWriterIsReadOnceTheWriterLetsGo) {
    const auto config = watched("a.ini", "a=1\n");
    DebugTextCounter failures({FAILED_ATTEMPT});
    {
        krel_std::LockedFile writer;
        writer.open(File(path("a.ini")), krel_std::LockedFile::Overwrite);
        writer.write(krel_std::ByteArray(std::string("a=2\n")));
        writer.flush();
        ASSERT_TRUE(failures.waitForFirst(0));
    }
    ASSERT_TRUE(listener->waitFor(1));
    EXPECT_EQ((Events{L"Changed [] a=2"}), listener->heard());
}

// Driven directly, without the watcher: the configuration is given its path before any listener
// exists, so it is not watched.
TEST_F(KrelConfigTest, FileHeldThroughFiveAttemptsLeavesTheContentAndReportsNothing) {
    writeBytes("a.ini", "a=1\n");
    KrelConfig config;
    config.setPath(File(path("a.ini")));
    config.load();
    config.addConfigurationListener(listener);
    DebugTextCounter failures({FAILED_ATTEMPT, GAVE_UP});
    krel_std::LockedFile writer;
    writer.open(File(path("a.ini")), krel_std::LockedFile::Overwrite);
    config.onFileContentChange(File(path("a.ini")));
    EXPECT_EQ(5, failures.count(0));
    EXPECT_EQ(1, failures.count(1));
    EXPECT_EQ(L"1", config.getValue(L"a"));
    EXPECT_TRUE(listener->heard().empty());
}

// Were a configuration without a path registered, it would stand for the working directory, and
// the removal of that directory would be reported as the deletion of its file.
TEST_F(KrelConfigTest, EmptyPathWatchesNothing) {
    std::filesystem::create_directories(native("a-work"));
    writeBytes("a.ini", "a=1\n");
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(native("a-work"));
    KrelConfig config;
    std::filesystem::current_path(saved);
    config.setPath(File(path("a.ini")));
    config.load();
    config.addConfigurationListener(listener);
    const auto sentinelConfig = watched("s.ini", "s=1\n");
    std::filesystem::remove(native("a-work"));
    EXPECT_EQ((Events{L"Added [] sentinel=1"}), eventsUpToSentinel("s.ini", "s=1\n"));
}

TEST_F(KrelConfigTest, UnwatchableDirectoryIsTracedAndTheConfigurationWorksUnwatched) {
    const std::wstring missing = path("missing/a.ini");
    DebugTextCounter traces(
        {L"Unable to start monitoring for <" + missing + L">: <Could not monitor directory>."});
    KrelConfig config(missing);
    EXPECT_EQ(1, traces.count(0));
    config.setValue(L"a", L"1");
    EXPECT_EQ(L"1", config.getValue(L"a"));
}

TEST_F(KrelConfigTest, SetPathWithListenersWatchesTheNewPath) {
    writeBytes("b.ini", "b=1\n");
    KrelConfig config;
    config.addConfigurationListener(listener);
    config.setPath(File(path("b.ini")));
    config.load();
    EXPECT_EQ((Events{L"Changed [] b=2", L"Added [] sentinel=1"}),
              eventsUpToSentinel("b.ini", "b=2\n"));
}

} // namespace
