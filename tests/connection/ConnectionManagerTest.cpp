#include "connection/ConnectionManager.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "ConnectionFakes.h"
#include "connection/LastPlusOneConnectionPolicy.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "support/DebugOutputCapture.h"
#include "support/MessageOf.h"
#include "support/RecordingLogTest.h"

using namespace krel_std;
using krel_test::messageOf;
using krel_test::RecordingListener;
using krel_test::ScriptedImplementer;

namespace {

typedef std::vector<std::wstring> Calls;

// The text of the error logged when no service could be reached.
const wchar_t* const FAILED_TO_CONNECT = L"Client <client> failed to connect to any service.";

class ConnectionManagerTest : public ::testing::Test {
protected:
    void SetUp() override { makeManager({L"alpha", L"beta"}); }

    void TearDown() override { manager.reset(); }

    void makeManager(const std::vector<std::wstring>& hosts) {
        manager.reset();
        implementer.reset(new ScriptedImplementer(hosts));
        manager.reset(new ConnectionManager(L"client", implementer));
        // Recovery cycles after the first one never interfere with a test.
        manager->setRecoveryInterval(600000);
    }

    void refuseAll() {
        implementer->refuse(0);
        implementer->refuse(1);
    }

    // Connects while every host refuses, so that the manager ends in recovery.
    void enterRecovery() {
        refuseAll();
        EXPECT_THROW(manager->connect(), KrelConnectException);
        EXPECT_TRUE(manager->isInRecovery());
    }

    bool wantsConnection() {
        return manager->toString().find(L"isWantToBeConnectedFlag=true") != std::wstring::npos;
    }

    boost::shared_ptr<ScriptedImplementer> implementer;
    std::unique_ptr<ConnectionManager> manager;
};

TEST_F(ConnectionManagerTest, ConnectMakesTheConnectionToTheFirstHost) {
    manager->connect();
    EXPECT_TRUE(manager->isConnected());
    EXPECT_FALSE(manager->isInRecovery());
    EXPECT_EQ(L"alpha", manager->getHost());
    EXPECT_EQ(Calls({L"use 0", L"establish 0"}), implementer->calls());
    EXPECT_NE(0u, manager->getLastOperationTime());
}

TEST_F(ConnectionManagerTest, TryAllWithOneRefusingHostEstablishesTwiceThenGivesUp) {
    makeManager({L"alpha"});
    implementer->refuse(0);
    manager->setTryAllServices(true);
    manager->setRecoveryEnabled(false);
    krel_test::DebugOutputCapture capture;

    // The message goes on with the text of the cause, the lookup past the end of the list.
    EXPECT_EQ(0u, messageOf<KrelConnectException>([this] {
                      manager->connect();
                  }).find(L"client. Unable to connect to any service."));
    EXPECT_EQ(2, implementer->count(L"establish 0"));
    EXPECT_NE(std::wstring::npos, capture.all().find(FAILED_TO_CONNECT));
    EXPECT_FALSE(manager->isConnected());
    EXPECT_FALSE(manager->isInRecovery());
}

TEST_F(ConnectionManagerTest, TryAllGoesOnToTheNextHostAfterARefusal) {
    implementer->refuse(0);
    manager->setTryAllServices(true);
    manager->connect();
    EXPECT_EQ(L"beta", manager->getHost());
    EXPECT_EQ(1, manager->getConnectionPolicy()->getIndexOfConnectionInfoInLastSuccessful());
    EXPECT_EQ(Calls({L"use 0", L"establish 0", L"use 1", L"establish 1"}), implementer->calls());
}

TEST_F(ConnectionManagerTest, TryAllWithNoServiceThrowsNotFoundWithoutRecovery) {
    makeManager({});
    manager->setTryAllServices(true);
    krel_test::DebugOutputCapture capture;

    EXPECT_THROW(manager->connect(), KrelObjectNotFoundException);
    EXPECT_EQ(std::wstring::npos, capture.all().find(FAILED_TO_CONNECT));
    EXPECT_FALSE(manager->isInRecovery());
    EXPECT_TRUE(wantsConnection());
    EXPECT_EQ(0, implementer->count(L"establish"));
}

TEST_F(ConnectionManagerTest, TryOneWithRecoveryOffAlwaysUsesIndexZero) {
    boost::shared_ptr<LastPlusOneConnectionPolicy> policy(new LastPlusOneConnectionPolicy());
    policy->setIndexOfConnectionInfoInLastAttempt(0);
    manager->setConnectionPolicy(policy);
    manager->setRecoveryEnabled(false);
    implementer->refuse(0);

    EXPECT_EQ(L"Refused 0", messageOf<KrelConnectException>([this] { manager->connect(); }));
    EXPECT_EQ(L"Refused 0", messageOf<KrelConnectException>([this] { manager->connect(); }));
    EXPECT_EQ(Calls({L"use 0", L"establish 0", L"use 0", L"establish 0"}), implementer->calls());
    EXPECT_FALSE(manager->isInRecovery());
}

TEST_F(ConnectionManagerTest, TryOneWithRecoveryOnFollowsTheLastAttemptedIndex) {
    boost::shared_ptr<LastPlusOneConnectionPolicy> policy(new LastPlusOneConnectionPolicy());
    policy->setIndexOfConnectionInfoInLastAttempt(0);
    manager->setConnectionPolicy(policy);
    manager->connect();
    EXPECT_EQ(L"beta", manager->getHost());
}

TEST_F(ConnectionManagerTest, TryOnePastTheListFallsBackToIndexZero) {
    boost::shared_ptr<LastPlusOneConnectionPolicy> policy(new LastPlusOneConnectionPolicy());
    policy->setIndexOfConnectionInfoInLastAttempt(1);
    manager->setConnectionPolicy(policy);
    manager->connect();
    EXPECT_EQ(Calls({L"use 2", L"use 0", L"establish 0"}), implementer->calls());
}

TEST_F(ConnectionManagerTest, ASecondConnectCallsNothingAndQueuesNothing) {
    boost::shared_ptr<RecordingListener> listener(new RecordingListener());
    manager->addListener(listener);
    manager->connect();
    implementer->clearCalls();

    manager->connect();
    EXPECT_TRUE(implementer->calls().empty());
    manager->disconnect();
    ASSERT_TRUE(listener->waitForCount(2));
    EXPECT_EQ(Calls({L"up alpha", L"down alpha"}), listener->statuses());
}

TEST_F(ConnectionManagerTest, KeepAliveMakesDisconnectDoNothing) {
    manager->setKeepConnectionAlive(true);
    manager->connect();
    manager->disconnect();
    EXPECT_TRUE(manager->isConnected());
    EXPECT_TRUE(wantsConnection());
    EXPECT_EQ(0, implementer->count(L"disconnect"));
}

TEST_F(ConnectionManagerTest, ShutdownDisconnectsDespiteKeepAlive) {
    manager->setKeepConnectionAlive(true);
    manager->connect();
    manager->shutdown();
    EXPECT_FALSE(manager->isConnected());
    EXPECT_FALSE(manager->isKeepConnectionAlive());
    EXPECT_EQ(L"", manager->getHost());
    EXPECT_EQ(1, implementer->count(L"disconnect"));
}

TEST_F(ConnectionManagerTest, AFailedConnectWithRecoveryOnEndsInRecoveryAndStillThrows) {
    // Both hosts refuse: the recovery cycle that starts at once must not end the recovery.
    refuseAll();
    EXPECT_EQ(L"Refused 0", messageOf<KrelConnectException>([this] { manager->connect(); }));
    EXPECT_TRUE(manager->isInRecovery());
    EXPECT_FALSE(manager->isConnected());
}

TEST_F(ConnectionManagerTest, ConnectDuringRecoveryIsRefused) {
    enterRecovery();
    EXPECT_EQ(L"client. Automatic recovery to service is in progress.",
              messageOf<KrelConnectException>([this] { manager->connect(); }));
    EXPECT_TRUE(manager->isInRecovery());
}

TEST_F(ConnectionManagerTest, DisconnectDuringRecoveryEndsItWithoutCallingTheImplementer) {
    enterRecovery();
    // The first cycle runs at once: both hosts twice, after the initial attempt.
    ASSERT_TRUE(implementer->waitForCount(L"establish", 5));

    manager->disconnect();
    EXPECT_FALSE(manager->isInRecovery());
    EXPECT_FALSE(wantsConnection());
    EXPECT_EQ(0, implementer->count(L"disconnect"));
}

// Holds a recovery cycle inside establishConnection until the test opens it; a gate left
// closed opens by itself after the generous bound, so no failure leaves a thread stuck.
struct CycleGate {
    std::mutex mutex;
    std::condition_variable changed;
    bool cycleStarted = false;
    bool open = false;
    bool callReturned = false;

    void hold() {
        std::unique_lock<std::mutex> guard(mutex);
        cycleStarted = true;
        changed.notify_all();
        changed.wait_for(guard, krel_test::GENEROUS_WAIT, [this] { return open; });
    }
};

class HeldRecoveryCycleTest : public ConnectionManagerTest {
protected:
    // Enters recovery with the first cycle held at the gate, inside the manager's lock.
    void SetUp() override {
        ConnectionManagerTest::SetUp();
        boost::shared_ptr<CycleGate> held = gate;
        const std::thread::id testThread = std::this_thread::get_id();
        implementer->setBeforeEstablish([held, testThread] {
            if (std::this_thread::get_id() != testThread) {
                held->hold();
            }
        });
        enterRecovery();
        std::unique_lock<std::mutex> guard(gate->mutex);
        cycleHeld = gate->changed.wait_for(guard, krel_test::GENEROUS_WAIT,
                                           [this] { return gate->cycleStarted; });
    }

    // Runs the call on another thread while the cycle is held, then opens the gate and waits
    // for the call; answers whether the call returned before the gate opened. A call that does
    // not wait for the cycle returns well within the window given to it.
    bool returnsWhileTheCycleIsHeld(const std::function<void()>& call) {
        boost::shared_ptr<CycleGate> held = gate;
        std::thread caller([held, call] {
            call();
            std::lock_guard<std::mutex> done(held->mutex);
            held->callReturned = true;
            held->changed.notify_all();
        });
        std::unique_lock<std::mutex> guard(gate->mutex);
        const bool returned = gate->changed.wait_for(guard, std::chrono::milliseconds(200),
                                                     [this] { return gate->callReturned; });
        gate->open = true;
        gate->changed.notify_all();
        guard.unlock();
        caller.join();
        return returned;
    }

    boost::shared_ptr<CycleGate> gate{new CycleGate()};
    bool cycleHeld = false;
};

TEST_F(HeldRecoveryCycleTest, DisconnectWaitsForTheCycleThenEndsRecovery) {
    ASSERT_TRUE(cycleHeld);
    EXPECT_FALSE(returnsWhileTheCycleIsHeld([this] { manager->disconnect(); }));
    EXPECT_FALSE(manager->isInRecovery());
    EXPECT_FALSE(manager->isConnected());
}

TEST_F(HeldRecoveryCycleTest, TheTextWaitsForTheCycleThatAssignsTheHost) {
    ASSERT_TRUE(cycleHeld);
    std::wstring text;
    EXPECT_FALSE(returnsWhileTheCycleIsHeld([this, &text] { text = manager->toString(); }));
    EXPECT_NE(std::wstring::npos, text.find(L"isInRecoveryFlag=true"));
}

TEST_F(ConnectionManagerTest, DoRecoveryWithoutDropChangesNothingWhenConnected) {
    manager->connect();
    implementer->clearCalls();
    manager->doRecovery(false);
    EXPECT_TRUE(manager->isConnected());
    EXPECT_FALSE(manager->isInRecovery());
    EXPECT_TRUE(implementer->calls().empty());
}

TEST_F(ConnectionManagerTest, DoRecoveryWithDropChangesNothingWhenIdle) {
    manager->doRecovery(true);
    EXPECT_FALSE(manager->isConnected());
    EXPECT_FALSE(manager->isInRecovery());
    EXPECT_FALSE(wantsConnection());
    EXPECT_TRUE(implementer->calls().empty());
}

TEST_F(ConnectionManagerTest, DoRecoveryWithDropClosesTheConnectionAndBeginsRecovery) {
    manager->connect();
    refuseAll();
    manager->doRecovery(true);
    EXPECT_FALSE(manager->isConnected());
    EXPECT_TRUE(manager->isInRecovery());
    EXPECT_EQ(L"", manager->getHost());
    EXPECT_EQ(1, implementer->count(L"disconnect"));
}

TEST_F(ConnectionManagerTest, DisablingRecoveryEndsItAndEnablingItBeginsItAgain) {
    enterRecovery();
    manager->setRecoveryEnabled(false);
    EXPECT_FALSE(manager->isInRecovery());
    manager->setRecoveryEnabled(true);
    EXPECT_TRUE(manager->isInRecovery());
}

TEST_F(ConnectionManagerTest, AnExceptionOfDisconnectReachesTheCallerWithTheWishCleared) {
    manager->connect();
    implementer->setDisconnectFailure([] { throw KrelConnectException(L"Line jammed."); });
    EXPECT_THROW(manager->disconnect(), KrelConnectException);
    EXPECT_FALSE(wantsConnection());
    EXPECT_TRUE(manager->isConnected());
}

TEST_F(ConnectionManagerTest, ShutdownLetsAForeignExceptionOfDisconnectThrough) {
    manager->connect();
    implementer->setDisconnectFailure([] { throw std::runtime_error("socket library broke"); });
    EXPECT_THROW(manager->shutdown(), std::runtime_error);
}

TEST_F(ConnectionManagerTest, TheDestructorIgnoresWhatShutdownLetsThrough) {
    boost::shared_ptr<RecordingListener> listener(new RecordingListener());
    manager->addListener(listener);
    manager->connect();
    implementer->setDisconnectFailure([] { throw std::runtime_error("socket library broke"); });
    EXPECT_NO_THROW(manager.reset());
}

class ConnectionManagerArgumentTest : public ConnectionManagerTest {};

TEST_F(ConnectionManagerArgumentTest, TheConstructorNamesTheBadArgument) {
    EXPECT_EQ(L"Connection manager name value is empty.",
              messageOf<KrelIllegalArgumentException>(
                  [this] { ConnectionManager unnamed(L"", implementer); }));
    EXPECT_EQ(L"Connection implementer value is NULL.", messageOf<KrelIllegalArgumentException>([] {
                  ConnectionManager empty(L"client", boost::shared_ptr<IConnectionImplementer>());
              }));
}

TEST_F(ConnectionManagerArgumentTest, IntervalsBelowOneAreRefusedAndOneIsAccepted) {
    EXPECT_EQ(
        L"Heart beat interval value 0 is below minimum of 1.",
        messageOf<KrelIllegalArgumentException>([this] { manager->setHeartBeatInterval(0); }));
    EXPECT_EQ(
        L"Recovery interval value -5 is below minimum of 1.",
        messageOf<KrelIllegalArgumentException>([this] { manager->setRecoveryInterval(-5); }));
    EXPECT_EQ(ConnectionManager::DEFAULT_HEARTBEAT_INTERVAL, manager->getHeartBeatInterval());
    manager->setHeartBeatInterval(1);
    EXPECT_EQ(1, manager->getHeartBeatInterval());
}

TEST_F(ConnectionManagerArgumentTest, EmptyPolicyAndListenersAreRefused) {
    EXPECT_EQ(L"Connection policy value is NULL.", messageOf<KrelIllegalArgumentException>([this] {
                  manager->setConnectionPolicy(boost::shared_ptr<IConnectionPolicy>());
              }));
    EXPECT_EQ(L"Connection listener value is NULL.",
              messageOf<KrelIllegalArgumentException>([this] {
                  manager->addListener(boost::shared_ptr<IConnectionStatusListener>());
              }));
    EXPECT_EQ(L"Connection listener value is NULL.",
              messageOf<KrelIllegalArgumentException>([this] {
                  manager->removeListener(boost::shared_ptr<IConnectionStatusListener>());
              }));
}

TEST_F(ConnectionManagerTest, TheTextShowsEveryFieldInOrder) {
    manager->setHeartBeatInterval(250);
    EXPECT_EQ(L"ConnectionManager{name='client',connImpl=ScriptedImplementer,heartBeatSender=NULL,"
              L"isHeartBeatEnabledFlag=false,heartBeatInterval=250,isRecoveryEnabledFlag=true,"
              L"recoveryInterval=600000,connectionPolicy=ZeroStartConnectionPolicy{"
              L"AbstractConnectionPolicy{indexOfLastAttempted=-1,indexOfLastSuccessful=-1}},"
              L"isTryAllServicesFlag=false,isKeepConnectionAliveFlag=false,isConnectedFlag=false,"
              L"isInRecoveryFlag=false,isWantToBeConnectedFlag=false,lastOperationTime=0,"
              L"currentHost=''}",
              manager->toString());
    EXPECT_EQ(L"krel_std.ConnectionManager", manager->getClassName());
}

// An initialised log gets the connection messages whether or not the debugger output is heard.
class ConnectionManagerLogTest : public krel_test::RecordingLogTest {};

TEST_F(ConnectionManagerLogTest, AnInitialisedLogReceivesTheConnectionMessages) {
    boost::shared_ptr<ScriptedImplementer> implementer(new ScriptedImplementer({L"alpha"}));
    {
        ConnectionManager manager(L"client", implementer);
        manager.connect();
        manager.disconnect();
    }
    std::vector<std::wstring> clientMessages;
    for (const std::wstring& message : messages()) {
        if (message.compare(0, 8, L"Client <") == 0) {
            clientMessages.push_back(message);
        }
    }
    EXPECT_EQ(Calls({L"Client <client> connected to service at <alpha>.",
                     L"Client <client> disconnected from service at <alpha>."}),
              clientMessages);
}

TEST(ServiceStatusTest, TheTextNamesDirectionAndHost) {
    ConnectionManager::ServiceStatus status(false, L"alpha");
    EXPECT_EQ(L"ServiceStatus{isUpFlag=false,host='alpha'}", status.toString());
}

} // namespace
