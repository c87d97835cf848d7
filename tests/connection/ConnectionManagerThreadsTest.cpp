#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

#include "ConnectionFakes.h"
#include "connection/ConnectionManager.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "support/RecordingLogTest.h"

using namespace krel_std;
using krel_test::RecordingListener;
using krel_test::ScriptedImplementer;
using krel_test::ScriptedSender;

namespace {

typedef std::vector<std::wstring> Statuses;

// The ids of the threads of this process. Threads of earlier tests may still be on their way
// out, so tests compare which ids are new rather than how many there are.
std::set<std::string> threadIds() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.insert(entry.path().filename().string());
    }
    return ids;
}

size_t newThreadCount(const std::set<std::string>& before) {
    size_t count = 0;
    for (const std::string& id : threadIds()) {
        count += before.count(id) == 0 ? 1 : 0;
    }
    return count;
}

class ConnectionManagerThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        implementer.reset(new ScriptedImplementer({L"alpha", L"beta"}));
        manager.reset(new ConnectionManager(L"client", implementer));
        manager->setRecoveryInterval(600000);
        manager->setHeartBeatInterval(600000);
    }

    void TearDown() override { manager.reset(); }

    boost::shared_ptr<RecordingListener> addListener(bool throwing = false) {
        boost::shared_ptr<RecordingListener> listener(new RecordingListener(throwing));
        manager->addListener(listener);
        return listener;
    }

    boost::shared_ptr<ScriptedSender> enableHeartBeats(int intervalMs) {
        boost::shared_ptr<ScriptedSender> sender(new ScriptedSender());
        manager->setHeartBeatSender(sender);
        manager->setHeartBeatInterval(intervalMs);
        manager->setHeartBeatEnabled(true);
        return sender;
    }

    boost::shared_ptr<ScriptedImplementer> implementer;
    std::unique_ptr<ConnectionManager> manager;
};

TEST_F(ConnectionManagerThreadsTest, WithoutListenersNothingIsQueuedAndNoNotifierRuns) {
    manager->connect();
    manager->disconnect();
    const std::set<std::string> before = threadIds();

    boost::shared_ptr<RecordingListener> listener = addListener();
    EXPECT_EQ(1u, newThreadCount(before));
    manager->connect();
    ASSERT_TRUE(listener->waitForCount(1));
    EXPECT_EQ(Statuses({L"up alpha"}), listener->statuses());
}

TEST_F(ConnectionManagerThreadsTest, StatusesArriveInTheOrderTheyHappened) {
    boost::shared_ptr<RecordingListener> listener = addListener();
    manager->connect();
    manager->disconnect();
    implementer->refuse(0);
    manager->setTryAllServices(true);
    manager->connect();
    manager->disconnect();
    ASSERT_TRUE(listener->waitForCount(4));
    EXPECT_EQ(Statuses({L"up alpha", L"down alpha", L"up beta", L"down beta"}),
              listener->statuses());
}

TEST_F(ConnectionManagerThreadsTest, AThrowingListenerKeepsNeitherOthersNorLaterStatusesAway) {
    boost::shared_ptr<RecordingListener> throwing = addListener(true);
    boost::shared_ptr<RecordingListener> quiet = addListener();
    manager->connect();
    manager->disconnect();
    ASSERT_TRUE(quiet->waitForCount(2));
    ASSERT_TRUE(throwing->waitForCount(2));
    EXPECT_EQ(Statuses({L"up alpha", L"down alpha"}), quiet->statuses());
}

// A listener that cannot describe itself.
class NamelessListener : public RecordingListener {
public:
    std::wstring toString() override { throw std::runtime_error("no name"); }
};

// The manager's threads with the static log tracing every line into memory; the log is made
// before the manager (in SetUp) and goes after it.
class ConnectionManagerTracedTest : public ConnectionManagerThreadsTest {
protected:
    krel_test::RecordingLog log{krel_std::TRACE};
};

TEST_F(ConnectionManagerTracedTest, AListenerWhoseTextThrowsIsStillToldOfEveryStatus) {
    boost::shared_ptr<NamelessListener> nameless(new NamelessListener());
    manager->addListener(nameless);
    manager->connect();
    manager->disconnect();
    ASSERT_TRUE(nameless->waitForCount(2));
    EXPECT_EQ(Statuses({L"up alpha", L"down alpha"}), nameless->statuses());
}

TEST_F(ConnectionManagerThreadsTest, ARemovedListenerHearsNothingMore) {
    boost::shared_ptr<RecordingListener> removed = addListener();
    boost::shared_ptr<RecordingListener> kept = addListener();
    manager->connect();
    ASSERT_TRUE(removed->waitForCount(1));
    manager->removeListener(removed);
    manager->disconnect();
    ASSERT_TRUE(kept->waitForCount(2));
    EXPECT_EQ(Statuses({L"up alpha"}), removed->statuses());
}

TEST_F(ConnectionManagerThreadsTest, ASenderThatFailsOtherwiseKeepsTheManagerConnected) {
    boost::shared_ptr<ScriptedSender> sender = enableHeartBeats(1);
    sender->setFailure([] { throw KrelIllegalStateException(L"Sender confused."); });
    manager->connect();
    ASSERT_TRUE(sender->waitForBeats(3));
    EXPECT_TRUE(manager->isConnected());
    EXPECT_EQ(0, implementer->count(L"disconnect"));
}

TEST_F(ConnectionManagerThreadsTest, AFailedBeatReportsTheLossAndRecoveryReconnects) {
    boost::shared_ptr<RecordingListener> listener = addListener();
    boost::shared_ptr<ScriptedSender> sender = enableHeartBeats(1);
    sender->setFailure([&sender] {
        sender->setFailure(nullptr);
        throw KrelConnectException(L"Peer silent.");
    });
    manager->connect();
    ASSERT_TRUE(listener->waitForCount(3));
    EXPECT_EQ(Statuses({L"up alpha", L"down alpha", L"up alpha"}), listener->statuses());
    EXPECT_EQ(1, implementer->count(L"disconnect"));
    EXPECT_TRUE(manager->isConnected());
}

TEST_F(ConnectionManagerThreadsTest, ANewHeartBeatIntervalRulesTheVeryNextSleep) {
    boost::shared_ptr<ScriptedSender> sender = enableHeartBeats(600000);
    manager->connect();
    // With the old interval the next beat would be ten minutes away.
    manager->setHeartBeatInterval(1);
    EXPECT_TRUE(sender->waitForBeats(2));
}

// Connected with heart beats off, the recovery thread has nothing to do and sleeps until woken;
// a connect or disconnect then leaves it asleep, but a change that gives it work must wake it.
TEST_F(ConnectionManagerThreadsTest, AnIdleRecoveryThreadWakesWhenHeartBeatsAreEnabled) {
    manager->connect();
    manager->disconnect();
    manager->connect();
    boost::shared_ptr<ScriptedSender> sender = enableHeartBeats(1);
    EXPECT_TRUE(sender->waitForBeats(1));
}

TEST_F(ConnectionManagerThreadsTest, AnIdleRecoveryThreadWakesWhenRecoveryBegins) {
    manager->connect();
    manager->disconnect();
    manager->connect();
    implementer->refuse(0);
    implementer->refuse(1);
    manager->doRecovery(true);
    // Two connects, then the first cycle tries both hosts twice at once.
    EXPECT_TRUE(implementer->waitForCount(L"establish", 6));
    EXPECT_TRUE(manager->isInRecovery());
}

TEST_F(ConnectionManagerThreadsTest, AfterShutdownConnectStartsBothThreadsAgain) {
    boost::shared_ptr<RecordingListener> listener = addListener();
    manager->connect();
    ASSERT_TRUE(listener->waitForCount(1));
    manager->shutdown();
    EXPECT_FALSE(manager->isConnected());

    boost::shared_ptr<ScriptedSender> sender = enableHeartBeats(1);
    manager->connect();
    EXPECT_TRUE(sender->waitForBeats(1));
    // The loss queued by shutdown() may have been delivered before it stopped the notifier, or
    // waits for the restart and comes just before the new connection; the new one is heard last
    // either way.
    ASSERT_TRUE(listener->waitForCount(2));
    if (listener->statuses()[1] == L"down alpha") {
        ASSERT_TRUE(listener->waitForCount(3));
    }
    EXPECT_EQ(L"up alpha", listener->statuses().back());
}

TEST_F(ConnectionManagerThreadsTest, AForeignExceptionInACycleDoesNotEndRecovery) {
    boost::shared_ptr<RecordingListener> listener = addListener();
    manager->setRecoveryInterval(1);
    implementer->refuse(0);
    implementer->refuse(1);
    EXPECT_THROW(manager->connect(), KrelConnectException);
    implementer->failWithRuntimeError(1);
    ASSERT_TRUE(implementer->waitForCount(L"establish", 10));
    implementer->accept(1);

    ASSERT_TRUE(listener->waitForCount(1));
    EXPECT_EQ(Statuses({L"up beta"}), listener->statuses());
    EXPECT_FALSE(manager->isInRecovery());
}

} // namespace
