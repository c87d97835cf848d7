#include <gtest/gtest.h>
#include <memory>

#include "ConnectionFakes.h"
#include "connection/ConnectionManager.h"
#include "support/DebugOutputCapture.h"
#include "support/Eventually.h"
#include "support/LoopbackPeer.h"

using namespace krel_std;
using krel_test::LoopbackClient;
using krel_test::LoopbackPeer;
using krel_test::RecordingListener;

namespace {

typedef std::vector<std::wstring> Statuses;

// Still busy with the connection's "up" when a shutdown begins: it returns only once the
// shutdown has closed the connection and let go of the manager's lock, by which time the
// notification thread has been told to stop.
class BusyListener : public RecordingListener {
public:
    void statusChanged(bool isUp, const std::wstring& host) override {
        RecordingListener::statusChanged(isUp, host);
        if (isUp && krel_test::becomesTrue([&] { return !manager->isConnected(); },
                                           std::chrono::seconds(10))) {
            manager->getRecoveryInterval();
        }
    }

    ConnectionManager* manager = nullptr;
};

// Two echoing peers and a manager with heart beats every 20 ms and recovery cycles every
// 50 ms. Statuses are awaited with generous bounds: how fast they come is measured in bench/.
class ConnectionManagerLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override { makeManager({first.port(), second.port()}); }

    void makeManager(const std::vector<int>& ports) {
        manager.reset();
        client.reset(new LoopbackClient(ports));
        manager.reset(new ConnectionManager(L"client", client));
        manager->setHeartBeatSender(client);
        manager->setHeartBeatInterval(20);
        manager->setRecoveryInterval(50);
        manager->setHeartBeatEnabled(true);
        manager->addListener(listener);
    }

    void TearDown() override { manager.reset(); }

    LoopbackPeer first;
    LoopbackPeer second;
    boost::shared_ptr<LoopbackClient> client;
    boost::shared_ptr<RecordingListener> listener{new RecordingListener()};
    std::unique_ptr<ConnectionManager> manager;
};

TEST_F(ConnectionManagerLoopbackTest, ALostPeerIsReportedAndItsReturnReconnects) {
    makeManager({first.port()});
    manager->connect();
    ASSERT_TRUE(listener->waitForCount(1));

    first.goAway();
    ASSERT_TRUE(listener->waitForCount(2));
    EXPECT_TRUE(manager->isInRecovery());
    first.comeBack();
    ASSERT_TRUE(listener->waitForCount(3));

    EXPECT_EQ(Statuses({L"up " + first.host(), L"down " + first.host(), L"up " + first.host()}),
              listener->statuses());
    EXPECT_TRUE(manager->isConnected());
}

TEST_F(ConnectionManagerLoopbackTest, WithTheFirstPeerGoneACycleConnectsToTheSecond) {
    manager->connect();
    ASSERT_TRUE(listener->waitForCount(1));

    first.goAway();
    ASSERT_TRUE(listener->waitForCount(3));
    EXPECT_EQ(Statuses({L"up " + first.host(), L"down " + first.host(), L"up " + second.host()}),
              listener->statuses());
    EXPECT_EQ(second.host(), manager->getHost());
}

TEST_F(ConnectionManagerLoopbackTest, TheConnectionMessagesNameTheHostOfEachConnection) {
    krel_test::DebugOutputCapture capture;
    manager->connect();
    first.goAway();
    ASSERT_TRUE(listener->waitForCount(3));
    manager->disconnect();

    const std::wstring output = capture.all();
    const size_t connectedFirst =
        output.find(L"Client <client> connected to service at <" + first.host() + L">.");
    const size_t lostFirst =
        output.find(L"Client <client> disconnected from service at <" + first.host() + L">.");
    const size_t connectedSecond =
        output.find(L"Client <client> connected to service at <" + second.host() + L">.");
    const size_t leftSecond =
        output.find(L"Client <client> disconnected from service at <" + second.host() + L">.");
    ASSERT_NE(std::wstring::npos, leftSecond);
    EXPECT_LT(connectedFirst, lostFirst);
    EXPECT_LT(lostFirst, connectedSecond);
    EXPECT_LT(connectedSecond, leftSecond);
}

TEST_F(ConnectionManagerLoopbackTest, ShutdownReturnsOnlyOnceTheListenersHeardTheLoss) {
    manager->connect();
    manager->shutdown();
    EXPECT_EQ(Statuses({L"up " + first.host(), L"down " + first.host()}), listener->statuses());
}

TEST_F(ConnectionManagerLoopbackTest,
       ALossQueuedWhileAListenerIsBusyIsDeliveredBeforeShutdownEnds) {
    const boost::shared_ptr<BusyListener> busy(new BusyListener());
    busy->manager = manager.get();
    manager->removeListener(listener);
    manager->addListener(busy);
    manager->connect();
    manager->shutdown();
    EXPECT_EQ(Statuses({L"up " + first.host(), L"down " + first.host()}), busy->statuses());
}

TEST_F(ConnectionManagerLoopbackTest, AConnectToAPeerThatIsGoneIsRefused) {
    first.goAway();
    manager->setRecoveryEnabled(false);
    EXPECT_THROW(manager->connect(), KrelConnectException);
    EXPECT_FALSE(manager->isConnected());
}

} // namespace
