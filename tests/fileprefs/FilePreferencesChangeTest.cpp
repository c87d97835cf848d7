// Changes made through the file tree become preference change events at once; the events keep
// their node alive, and removing a listener that was never added leaves the others listening.
#include <condition_variable>
#include <mutex>

#include "exception/KrelIllegalArgumentException.h"
#include "fileprefs/FilePrefsTestSupport.h"
#include "prefs/ChangeTestSupport.h"

using krel_std::PreferenceChangeEvent;
using krel_test::FilePreferencesTest;

namespace {

// Keeps every event it receives.
class EventRecorder : public krel_std::PreferenceChangeListener {
public:
    void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            events.push_back(event);
        }
        changed.notify_all();
    }

    // The first count events, or fewer when they did not arrive within the wait limit.
    std::vector<boost::shared_ptr<PreferenceChangeEvent>> waitFor(std::size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait_for(guard, krel_test::PREFS_WAIT_LIMIT,
                         [&] { return events.size() >= count; });
        return events;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<boost::shared_ptr<PreferenceChangeEvent>> events;
};

class FilePreferencesChangeTest : public FilePreferencesTest {
protected:
    void TearDown() override {
        for (const auto& added : listeners) {
            notifier().removePreferenceChangeListener(added.first, added.second);
        }
        FilePreferencesTest::TearDown();
    }

    boost::shared_ptr<EventRecorder> listenTo(const boost::shared_ptr<krel_std::Preferences>& to) {
        const boost::shared_ptr<EventRecorder> recorder(new EventRecorder);
        to->addPreferenceChangeListener(recorder);
        listeners.emplace_back(to->buildListenerPath(), recorder);
        return recorder;
    }

    std::wstring ownPath() const {
        return L"USER_ROOT/" + std::wstring(nodeName.begin(), nodeName.end());
    }

    std::vector<std::pair<std::wstring, boost::shared_ptr<krel_std::PreferenceChangeListener>>>
        listeners;
};

} // namespace

TEST_F(FilePreferencesChangeTest, NewValueIsOneEventWithTheNodesListenerPath) {
    const auto recorder = listenTo(node);
    node->put(L"key", L"value");
    const auto events = recorder->waitFor(1);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(L"key", events[0]->getKey());
    EXPECT_EQ(L"value", events[0]->getNewValue());
    EXPECT_EQ(ownPath(), events[0]->getListenerPath());
    EXPECT_EQ(node, events[0]->getNode());
}

TEST_F(FilePreferencesChangeTest, EqualValueMakesNoEvent) {
    node->put(L"key", L"value");
    const auto recorder = listenTo(node);
    node->put(L"key", L"value");
    node->put(L"marker", L"1");
    const auto events = recorder->waitFor(1);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(L"marker", events[0]->getKey());
}

TEST_F(FilePreferencesChangeTest, RemovalReportsTheEmptyText) {
    node->put(L"key", L"value");
    const auto recorder = listenTo(node);
    node->remove(L"key");
    const auto events = recorder->waitFor(1);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(L"key", events[0]->getKey());
    EXPECT_EQ(L"", events[0]->getNewValue());
}

TEST_F(FilePreferencesChangeTest, PutRefusedForTheFileCharsetReportsNothing) {
    const auto recorder = listenTo(node);
    EXPECT_THROW(node->put(L"refused", L"\u4e00"), krel_std::KrelIllegalArgumentException);
    node->put(L"marker", L"1");
    const auto events = recorder->waitFor(1);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(L"marker", events[0]->getKey());
}

TEST_F(FilePreferencesChangeTest, FlushTakingInTheFileReportsNothing) {
    const auto recorder = listenTo(node);
    writeFile(userDirectory("prefs.cfg"), "outside=1\r\n");
    node->flush();
    node->put(L"marker", L"1");
    const auto events = recorder->waitFor(1);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(L"marker", events[0]->getKey());
    EXPECT_EQ(L"1", node->get(L"outside", L""));
}

TEST_F(FilePreferencesChangeTest, RemovingAListenerNeverAddedLeavesTheAddedOneListening) {
    const auto recorder = listenTo(node);
    const boost::shared_ptr<EventRecorder> stranger(new EventRecorder);
    node->removePreferenceChangeListener(stranger);
    node->put(L"key", L"value");
    EXPECT_EQ(1u, recorder->waitFor(1).size());
}

TEST_F(FilePreferencesChangeTest, NodeRemovedAndDroppedWhileItsEventWaitsStaysReadable) {
    // The dispatch thread is held inside a listener of another node while the event of the
    // dropped node waits in the queue.
    krel_test::Gate entered;
    krel_test::Gate release;
    const boost::shared_ptr<krel_test::RecordingListener> holder(new krel_test::RecordingListener);
    holder->action = [&](const boost::shared_ptr<PreferenceChangeEvent>&) {
        entered.open();
        release.waitOpen();
    };
    const auto held = node->node(L"held");
    held->addPreferenceChangeListener(holder);
    listeners.emplace_back(held->buildListenerPath(), holder);

    auto dropped = node->node(L"dropped");
    const auto recorder = listenTo(dropped);
    held->put(L"hold", L"1");
    ASSERT_TRUE(entered.waitOpen());
    dropped->put(L"key", L"value");
    dropped->removeNode();
    dropped.reset();
    release.open();

    const auto events = recorder->waitFor(1);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(L"/" + std::wstring(nodeName.begin(), nodeName.end()) + L"/dropped",
              events[0]->getNode()->absolutePath());
}
