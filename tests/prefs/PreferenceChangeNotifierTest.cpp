#include "prefs/PreferenceChangeNotifier.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <utility>

#include "ChangeTestSupport.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/KrelLoggerSTD.h"
#include "support/CancelledCall.h"

using namespace krel_std;
using krel_test::Gate;
using krel_test::LogCapture;
using krel_test::RecordingListener;

namespace {

typedef boost::shared_ptr<RecordingListener> ListenerPtr;

// Every test works under paths of its own and unregisters what it registered, so the one
// notifier of the process carries nothing from one test to the next. The dispatch thread is
// started once before any test records the log.
class PreferenceChangeNotifierTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const ListenerPtr warmUp(new RecordingListener);
        notifier().addPreferenceChangeListener(L"WARM_UP", warmUp);
        notifier().removePreferenceChangeListener(L"WARM_UP", warmUp);
    }

    void TearDown() override {
        for (const auto& registration : registrations) {
            notifier().removePreferenceChangeListener(registration.first, registration.second);
        }
    }

    static PreferenceChangeNotifier& notifier() {
        return Singleton<PreferenceChangeNotifier>::getInstance();
    }

    std::wstring path(const std::wstring& suffix) const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = info->name();
        return L"TEST_ROOT/" + std::wstring(name.begin(), name.end()) + L"/" + suffix;
    }

    ListenerPtr listen(const std::wstring& listenerPath) {
        const ListenerPtr listener(new RecordingListener);
        listenTo(listenerPath, listener);
        return listener;
    }

    void listenTo(const std::wstring& listenerPath,
                  const boost::shared_ptr<PreferenceChangeListener>& listener) {
        notifier().addPreferenceChangeListener(listenerPath, listener);
        registrations.emplace_back(listenerPath, listener);
    }

    static void send(const std::wstring& listenerPath, const std::wstring& key) {
        notifier().enqueuePreferenceChangeEvent(PreferenceChangeEvent::newInstance(
            boost::shared_ptr<Preferences>(), key, L"value of " + key, listenerPath));
    }

    std::vector<std::pair<std::wstring, boost::shared_ptr<PreferenceChangeListener>>> registrations;
};

TEST_F(PreferenceChangeNotifierTest, ListenerUnderTwoPathsReceivesTheEventsOfBoth) {
    const ListenerPtr listener = listen(path(L"a"));
    listenTo(path(L"b"), listener);

    send(path(L"a"), L"k1");
    send(path(L"b"), L"k2");

    ASSERT_TRUE(listener->waitFor(2));
    EXPECT_EQ((std::vector<std::wstring>{L"k1", L"k2"}), listener->received());
}

TEST_F(PreferenceChangeNotifierTest, ListenerAddedTwiceUnderOnePathIsCalledOnce) {
    const ListenerPtr listener = listen(path(L"a"));
    notifier().addPreferenceChangeListener(path(L"a"), listener);
    const ListenerPtr sentinel = listen(path(L"a"));

    send(path(L"a"), L"k1");
    send(path(L"a"), L"k2");
    send(path(L"a"), L"k3");

    // Listeners are called in address order, so either may hear an event first: both are
    // waited for. A listener entered twice would have heard k1 twice by its third call.
    ASSERT_TRUE(sentinel->waitFor(3));
    ASSERT_TRUE(listener->waitFor(3));
    EXPECT_EQ(1u, notifier().getNumberOfListeners(path(L"a")) - 1);
    EXPECT_EQ((std::vector<std::wstring>{L"k1", L"k2", L"k3"}), listener->received());
}

TEST_F(PreferenceChangeNotifierTest, ListenersOfAPathAreCalledInAddressOrder) {
    // Shared with the listeners' actions, which run on the dispatch thread and may outlive a
    // failed test's stack.
    struct CallOrder {
        std::mutex mutex;
        std::condition_variable called;
        std::vector<const void*> addresses;
    };
    const auto order = std::make_shared<CallOrder>();
    std::vector<ListenerPtr> listeners;
    for (int i = 0; i < 5; ++i) {
        const ListenerPtr listener = listen(path(L"a"));
        const void* address = listener.get();
        listener->action = [order, address](const auto&) {
            {
                std::lock_guard<std::mutex> guard(order->mutex);
                order->addresses.push_back(address);
            }
            order->called.notify_all();
        };
        listeners.push_back(listener);
    }

    send(path(L"a"), L"k");

    std::vector<const void*> expected;
    for (const ListenerPtr& listener : listeners) {
        expected.push_back(listener.get());
    }
    std::sort(expected.begin(), expected.end());
    std::unique_lock<std::mutex> guard(order->mutex);
    ASSERT_TRUE(order->called.wait_for(guard, krel_test::PREFS_WAIT_LIMIT,
                                       [&] { return order->addresses.size() >= 5; }));
    EXPECT_EQ(expected, order->addresses);
}

TEST_F(PreferenceChangeNotifierTest, EventOfAPathWithoutListenersIsTakenAndDropped) {
    const ListenerPtr sentinel = listen(path(L"watched"));

    send(path(L"unwatched"), L"lost");
    send(path(L"watched"), L"k");

    ASSERT_TRUE(sentinel->waitFor(1));
    EXPECT_EQ(std::vector<std::wstring>{L"k"}, sentinel->received());
}

TEST_F(PreferenceChangeNotifierTest, LastListenerRemovedLeavesNoEntryAndTheThreadRunning) {
    const ListenerPtr first(new RecordingListener);
    notifier().addPreferenceChangeListener(path(L"a"), first);
    notifier().removePreferenceChangeListener(path(L"a"), first);
    EXPECT_EQ(0u, notifier().getNumberOfListeners(path(L"a")));

    LogCapture capture;
    const ListenerPtr second = listen(path(L"a"));
    send(path(L"a"), L"k");

    ASSERT_TRUE(second->waitFor(1));
    EXPECT_TRUE(capture.log().withId(L"STD0000").empty());
}

TEST_F(PreferenceChangeNotifierTest, EmptyPathOrListenerIsRefused) {
    const ListenerPtr listener(new RecordingListener);
    const ListenerPtr none;
    const auto message = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const KrelIllegalArgumentException& e) {
            return e.getMessage();
        }
        return std::wstring(L"no exception");
    };
    PreferenceChangeNotifier& n = notifier();

    EXPECT_EQ(L"Path value is empty.",
              message([&] { n.addPreferenceChangeListener(L"", listener); }));
    EXPECT_EQ(L"Path value is empty.",
              message([&] { n.removePreferenceChangeListener(L"", listener); }));
    EXPECT_EQ(L"Path value is empty.", message([&] { n.getNumberOfListeners(L""); }));
    EXPECT_EQ(L"Listener value is NULL.",
              message([&] { n.addPreferenceChangeListener(path(L"a"), none); }));
    EXPECT_EQ(L"Listener value is NULL.",
              message([&] { n.removePreferenceChangeListener(path(L"a"), none); }));
    EXPECT_EQ(0u, n.getNumberOfListeners(path(L"a")));
}

TEST_F(PreferenceChangeNotifierTest, EmptyEventIsQueuedAndPassedOver) {
    LogCapture capture(DEBUG);
    const ListenerPtr sentinel = listen(path(L"a"));

    notifier().enqueuePreferenceChangeEvent(boost::shared_ptr<PreferenceChangeEvent>());
    send(path(L"a"), L"after");

    ASSERT_TRUE(sentinel->waitFor(1));
    EXPECT_EQ(std::vector<std::wstring>{L"after"}, sentinel->received());
    EXPECT_TRUE(capture.log().anyMessage(L"Got NULL event from queue."));
}

TEST_F(PreferenceChangeNotifierTest, QueueHoldsAThousandEventsAndDropsTheNext) {
    LogCapture capture;
    Gate entered;
    Gate release;
    const ListenerPtr blocked = listen(path(L"a"));
    blocked->action = [&](const auto& event) {
        if (event->getKey() == L"first") {
            entered.open();
            release.waitOpen();
        }
    };
    send(path(L"a"), L"first");
    ASSERT_TRUE(entered.waitOpen());

    for (unsigned int i = 0; i < PreferenceChangeNotifier::MAX_QUEUE_SIZE; ++i) {
        send(path(L"a"), std::to_wstring(i));
    }
    EXPECT_TRUE(capture.log().withId(L"STD3004").empty());
    send(path(L"a"), L"dropped");
    release.open();
    ASSERT_TRUE(blocked->waitFor(2));
    send(path(L"a"), L"last");

    ASSERT_TRUE(blocked->waitFor(1002));
    const std::vector<std::wstring> received = blocked->received();
    EXPECT_EQ(L"999", received[1000]);
    EXPECT_EQ(L"last", received[1001]);
    const auto warnings = capture.log().withId(L"STD3004");
    ASSERT_EQ(1u, warnings.size());
    EXPECT_EQ(L"Preference change notification queue has reached its maximum size <1000>.",
              warnings[0].message);
}

TEST_F(PreferenceChangeNotifierTest, ThrowingListenerIsLoggedAndDeliveryGoesOn) {
    LogCapture capture;
    std::vector<ListenerPtr> listeners = {listen(path(L"a")), listen(path(L"a"))};
    std::sort(listeners.begin(), listeners.end(),
              [](const ListenerPtr& l, const ListenerPtr& r) { return l.get() < r.get(); });
    listeners[0]->action = [](const auto&) { throw std::runtime_error("listener fault"); };
    const ListenerPtr otherPath = listen(path(L"b"));

    send(path(L"a"), L"k1");
    send(path(L"b"), L"k2");
    send(path(L"a"), L"k3");

    ASSERT_TRUE(otherPath->waitFor(1));
    ASSERT_TRUE(listeners[1]->waitFor(2));
    EXPECT_EQ((std::vector<std::wstring>{L"k1", L"k3"}), listeners[1]->received());
    EXPECT_EQ((std::vector<std::wstring>{L"k1", L"k3"}), listeners[0]->received());
    const auto faults = capture.log().withId(L"STD3003");
    ASSERT_EQ(2u, faults.size());
    EXPECT_EQ(L"Internal error: Caught unknown exception in "
              L"<krel_std::PreferenceChangeNotifier::PreferenceChangeEventDispatchThread::run>.",
              faults[0].message);
    EXPECT_TRUE(capture.log().withId(L"STD0000").empty());
}

TEST_F(PreferenceChangeNotifierTest, CancellingTheDispatchThreadInsideAListenerEndsOnlyThatThread) {
    krel_test::CancelledCall call(std::chrono::seconds(10));
    const ListenerPtr listener = listen(path(L"a"));
    listener->action = [&call](const auto&) { call.enterAndAwaitCancellation(); };
    send(path(L"a"), L"k1");
    ASSERT_TRUE(call.waitUntilEntered());
    EXPECT_TRUE(call.cancelAndWaitForEnd());
}

TEST_F(PreferenceChangeNotifierTest, ListenersRunWithNoNotifierLockHeld) {
    const ListenerPtr added(new RecordingListener);
    const ListenerPtr listener = listen(path(L"a"));
    bool otherThreadGotThrough = false;
    listener->action = [&](const auto&) {
        // Another thread must get through the notifier while this call runs.
        auto other = std::async(std::launch::async, [&] {
            notifier().addPreferenceChangeListener(path(L"b"), added);
            send(path(L"b"), L"from other thread");
        });
        otherThreadGotThrough =
            other.wait_for(krel_test::PREFS_WAIT_LIMIT) == std::future_status::ready;
    };
    registrations.emplace_back(path(L"b"), added);

    send(path(L"a"), L"k");

    ASSERT_TRUE(added->waitFor(1));
    EXPECT_TRUE(otherThreadGotThrough);
}

} // namespace
