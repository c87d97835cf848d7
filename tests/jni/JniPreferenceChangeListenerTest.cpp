// The listener that turns preference changes into records of the Java callback queue, over the
// in-memory preferences back end and a played JNIEnv.
#include "jni/JniPreferenceChangeListener.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "jni/JniPreferenceChangeListenerContainer.h"
#include "jni/JniQueueTestSupport.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PrefsTestSupport.h"

namespace {

using krel_std::PreferenceChangeEvent;
using krel_std::Preferences;
using krel_test::callbackQueue;
using krel_test::FakeJniEnv;
using krel_test::QueueConsumer;
using krel_test::TagCallback;

const std::uintptr_t MARKER = 0xAB;

class JniPreferenceChangeListenerTest : public krel_test::MemoryPreferencesTest {
protected:
    void change(const boost::shared_ptr<Preferences>& node, const std::wstring& key,
                const std::wstring& newValue) {
        listener.preferenceChange(
            PreferenceChangeEvent::newInstance(node, key, newValue, L"listener path"));
    }

    // The record the change queued, as the Java object's constructor arguments.
    std::vector<FakeJniEnv::Construction> queuedRecord() {
        QueueConsumer consumer(1, fake.env());
        consumer.awaitAll();
        return fake.constructions();
    }

    // Whether nothing was queued ahead of a marker queued now.
    bool nothingQueued() {
        callbackQueue().enqueue(TagCallback::make(MARKER));
        QueueConsumer consumer(1, fake.env());
        return consumer.awaitAll() == std::vector<jobject>{krel_test::tagObject(MARKER)};
    }

    krel_std::JniPreferenceChangeListener listener;
    FakeJniEnv fake;
};

TEST_F(JniPreferenceChangeListenerTest, UserNodeGivesUserRootAndBackslashedPath) {
    change(root->node(L"a/b/c"), L"name", L"text");
    const std::vector<FakeJniEnv::Construction> made = queuedRecord();
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(-2147483647, made[0].root);
    EXPECT_EQ(L"a\\b\\c", made[0].path);
    EXPECT_EQ(L"name", made[0].key);
    EXPECT_EQ(L"text", made[0].newValue);
}

TEST_F(JniPreferenceChangeListenerTest, SystemNodeGivesSystemRoot) {
    change(Preferences::systemRoot()->node(L"s/t"), L"name", L"text");
    const std::vector<FakeJniEnv::Construction> made = queuedRecord();
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(-2147483646, made[0].root);
    EXPECT_EQ(L"s\\t", made[0].path);
}

TEST_F(JniPreferenceChangeListenerTest, RemovedValueGivesEmptyNewValue) {
    change(root->node(L"a"), L"name", L"");
    const std::vector<FakeJniEnv::Construction> made = queuedRecord();
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(L"", made[0].newValue);
}

TEST_F(JniPreferenceChangeListenerTest, EmptyKeyIsDroppedSilently) {
    EXPECT_NO_THROW(change(root->node(L"a"), L"", L"text"));
    EXPECT_TRUE(nothingQueued());
}

TEST_F(JniPreferenceChangeListenerTest, RootNodeChangeIsDroppedSilently) {
    EXPECT_NO_THROW(change(root, L"name", L"text"));
    EXPECT_TRUE(nothingQueued());
}

// The road of a change without Java: the node's change notifier calls the container's listener
// on its dispatch thread, and the record waits in the queue.
TEST_F(JniPreferenceChangeListenerTest, MonitoredNodeChangeReachesTheQueue) {
    const boost::shared_ptr<Preferences> node = root->node(L"road/key");
    krel_std::JniPreferenceChangeListenerContainer& container =
        krel_std::JniPreferenceChangeListenerContainer::getInstance();
    node->addPreferenceChangeListener(container.addListener(-2147483647, L"road\\key"));
    node->put(L"name", L"text");
    const std::vector<FakeJniEnv::Construction> made = queuedRecord();
    node->removePreferenceChangeListener(container.getListener(-2147483647, L"road\\key"));
    container.removeListener(-2147483647, L"road\\key");
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(L"road\\key", made[0].path);
    EXPECT_EQ(L"name", made[0].key);
    EXPECT_EQ(L"text", made[0].newValue);
}

TEST_F(JniPreferenceChangeListenerTest, ChangeAfterShutdownIsDroppedSilently) {
    krel_test::expectInOwnProcess([this]() -> std::string {
        callbackQueue().shutdown();
        try {
            change(root->node(L"a"), L"name", L"text");
        } catch (...) {
            return "the listener let an exception out";
        }
        return "";
    });
}

} // namespace
