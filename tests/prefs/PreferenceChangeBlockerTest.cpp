#include "prefs/PreferenceChangeBlocker.h"

#include <future>
#include <gtest/gtest.h>
#include <list>
#include <memory>

#include "ChangeTestSupport.h"
#include "PrefsTestSupport.h"
#include "exception/KrelIllegalArgumentException.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "support/MessageOf.h"
#include "system/Paths.h"
#include "thread/Event.h"

using namespace krel_std;
using krel_test::Gate;
using krel_test::LogCapture;
using krel_test::messageOf;
using krel_test::RecordingListener;

namespace {

typedef boost::shared_ptr<PreferenceChangeEvent> EventPtr;
typedef std::list<boost::shared_ptr<Preferences>> NodeList;

class PreferenceChangeBlockerTest : public krel_test::MemoryPreferencesTest {
protected:
    static PreferenceChangeNotifier& notifier() {
        return Singleton<PreferenceChangeNotifier>::getInstance();
    }

    static unsigned int listenersOf(const boost::shared_ptr<Preferences>& node) {
        return notifier().getNumberOfListeners(node->buildListenerPath());
    }

    // An event as the back end would report it, handed to the blocker directly.
    static void deliver(PreferenceChangeBlocker& blocker, const std::wstring& key) {
        blocker.preferenceChange(PreferenceChangeEvent::newInstance(
            boost::shared_ptr<Preferences>(), key, L"value of " + key, L"MEMORY_USER/a"));
    }

    static bool isWaitBegin(const LogEvent& event) {
        return event.function.find(L"waitForMultipleObjects") != std::wstring::npos &&
               event.message == L"Begin.";
    }

    Event userEvent{false, false};
};

TEST_F(PreferenceChangeBlockerTest, ChangeOfTheNodeReachesGetEvent) {
    const auto node = root->node(L"a");
    PreferenceChangeBlocker blocker(userEvent, node);

    node->put(L"k", L"v");

    const EventPtr event = blocker.getEvent(30000);
    ASSERT_TRUE(event);
    EXPECT_EQ(L"k", event->getKey());
    EXPECT_EQ(L"v", event->getNewValue());
    EXPECT_EQ(node, event->getNode());
    EXPECT_EQ(L"PreferenceChangeEvent{node=User Preference Node: /a,key='k',newValue='v',"
              L"listenerPath='MEMORY_USER/a'}",
              event->toString());
}

TEST_F(PreferenceChangeBlockerTest, WaitingEventsAreAnsweredAtOnceInOrder) {
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    deliver(blocker, L"first");
    deliver(blocker, L"second");

    EXPECT_EQ(L"first", blocker.getEvent(0)->getKey());
    EXPECT_EQ(L"second", blocker.getEvent(0)->getKey());
    EXPECT_FALSE(blocker.getEvent(0));
}

TEST_F(PreferenceChangeBlockerTest, QueuedEventIsTakenBeforeTheCallersEvent) {
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    deliver(blocker, L"k");
    userEvent.signal();

    EXPECT_TRUE(blocker.getEvent(-1));
    EXPECT_FALSE(blocker.getEvent(-1));
}

TEST_F(PreferenceChangeBlockerTest, CallersEventWinsOverAChangeArrivingDuringTheWait) {
    LogCapture capture(CALL);
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    auto waiter = std::async(std::launch::async, [&] { return blocker.getEvent(-1); });
    ASSERT_TRUE(capture.log().waitFor(isWaitBegin));

    userEvent.signal();
    deliver(blocker, L"k");

    EXPECT_FALSE(waiter.get());
    EXPECT_EQ(L"k", blocker.getEvent(0)->getKey());
}

// A caller that finds an event at once may take the one whose signal woke a waiter; the waiter,
// waiting without end, must go on waiting rather than answer nothing.
TEST_F(PreferenceChangeBlockerTest, EndlessWaiterOutrunByAnotherCallerGoesOnWaiting) {
    Event cancel(false, false);
    PreferenceChangeBlocker blocker(cancel, root->node(L"a"));
    std::atomic<pid_t> waiterTid(0);
    auto waiter = std::async(std::launch::async, [&] {
        waiterTid = krel_test::currentTid();
        return blocker.getEvent(-1);
    });
    const auto answeredNow = [&] {
        return waiter.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    ASSERT_TRUE(krel_test::waitUntilAsleep(waiterTid, -1, answeredNow));
    const long blockedBefore = krel_test::ThreadSchedule::of(waiterTid).blocked;

    deliver(blocker, L"k1");
    const EventPtr taken = blocker.getEvent(0);
    // The waiter woken for k1 either took it or, outrun, must sleep again.
    ASSERT_TRUE(krel_test::waitUntilAsleep(waiterTid, blockedBefore, answeredNow));
    deliver(blocker, L"k2");

    const bool answered = waiter.wait_for(krel_test::PREFS_WAIT_LIMIT) == std::future_status::ready;
    // A waiter left asleep is released so that the test ends.
    cancel.signal();
    const EventPtr waited = waiter.get();
    EXPECT_TRUE(answered);
    ASSERT_TRUE(waited);
    EXPECT_EQ(taken ? L"k2" : L"k1", waited->getKey());
}

TEST_F(PreferenceChangeBlockerTest, TwoEndlessWaitersEachGetOneOfTwoEvents) {
    LogCapture capture(CALL);
    Event cancel(false, false);
    PreferenceChangeBlocker blocker(cancel, root->node(L"a"));
    auto first = std::async(std::launch::async, [&] { return blocker.getEvent(-1); });
    auto second = std::async(std::launch::async, [&] { return blocker.getEvent(-1); });
    ASSERT_TRUE(capture.log().waitFor(isWaitBegin, 2));

    deliver(blocker, L"k1");
    deliver(blocker, L"k2");

    const bool bothAnswered =
        first.wait_for(krel_test::PREFS_WAIT_LIMIT) == std::future_status::ready &&
        second.wait_for(krel_test::PREFS_WAIT_LIMIT) == std::future_status::ready;
    cancel.signal();
    const EventPtr one = first.get();
    const EventPtr other = second.get();
    EXPECT_TRUE(bothAnswered);
    ASSERT_TRUE(one);
    ASSERT_TRUE(other);
    EXPECT_NE(one->getKey(), other->getKey());
}

TEST_F(PreferenceChangeBlockerTest, TimeOutZeroWithoutEventsAnswersEmpty) {
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    EXPECT_FALSE(blocker.getEvent(0));
    EXPECT_EQ(L"", blocker.getNewValue(L"k", 0));
}

TEST_F(PreferenceChangeBlockerTest, QueueHoldsTwoHundredEventsAndDropsTheNext) {
    LogCapture capture;
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    for (int i = 0; i < PreferenceChangeBlocker::DEFAULT_MAX_QUEUE_SIZE; ++i) {
        deliver(blocker, std::to_wstring(i));
    }
    EXPECT_TRUE(capture.log().withId(L"STD3005").empty());

    deliver(blocker, L"dropped");
    EXPECT_EQ(L"0", blocker.getEvent(0)->getKey());
    deliver(blocker, L"accepted");

    std::vector<std::wstring> rest;
    for (EventPtr event = blocker.getEvent(0); event; event = blocker.getEvent(0)) {
        rest.push_back(event->getKey());
    }
    ASSERT_EQ(200u, rest.size());
    EXPECT_EQ(L"199", rest[198]);
    EXPECT_EQ(L"accepted", rest[199]);
    const auto warnings = capture.log().withId(L"STD3005");
    ASSERT_EQ(1u, warnings.size());
    EXPECT_EQ(L"Preference change blocker queue has reached its maximum size <200>.",
              warnings[0].message);
}

TEST_F(PreferenceChangeBlockerTest, NewValueSkipsChangesOfOtherKeys) {
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    deliver(blocker, L"a");
    deliver(blocker, L"b");

    EXPECT_EQ(L"value of b", blocker.getNewValue(L"b", 0));
    EXPECT_FALSE(blocker.getEvent(0));
}

TEST_F(PreferenceChangeBlockerTest, NewValueOfAnEmptyKeyIsRefused) {
    PreferenceChangeBlocker blocker(userEvent, root->node(L"a"));
    EXPECT_EQ(L"Key value is empty.",
              messageOf<krel_std::KrelException>([&] { blocker.getNewValue(L"", 0); }));
}

TEST_F(PreferenceChangeBlockerTest, EmptyListsAndMissingNodesAreRefused) {
    EXPECT_EQ(L"Keys size value is equal to 0.", messageOf<krel_std::KrelException>([&] {
                  PreferenceChangeBlocker(userEvent, std::vector<std::wstring>(), false);
              }));
    EXPECT_EQ(L"Preference node list size value is equal to 0.",
              messageOf<krel_std::KrelException>(
                  [&] { PreferenceChangeBlocker(userEvent, NodeList()); }));
    EXPECT_EQ(L"Preference node value is NULL.", messageOf<krel_std::KrelException>([&] {
                  PreferenceChangeBlocker(userEvent, boost::shared_ptr<Preferences>());
              }));
    EXPECT_EQ(L"Preference node value is NULL.", messageOf<krel_std::KrelException>([&] {
                  PreferenceChangeBlocker(userEvent, NodeList{root->node(L"a"), nullptr});
              }));
    EXPECT_EQ(0u, listenersOf(root->node(L"a")));
}

TEST_F(PreferenceChangeBlockerTest, KeyNamingNoNodeRegistersNothing) {
    Paths::getInstance()->setPath(L"Blocker Test Key", L"/keyed");
    const std::vector<std::wstring> keys = {L"Blocker Test Key", L"Blocker Test Unknown Key"};

    EXPECT_EQ(L"Preferences path value is empty.", messageOf<krel_std::KrelException>([&] {
                  PreferenceChangeBlocker(userEvent, keys, false);
              }));
    EXPECT_EQ(0u, listenersOf(root->node(L"/keyed")));
}

TEST_F(PreferenceChangeBlockerTest, PathKeysChooseTheUserOrTheSystemTree) {
    Paths::getInstance()->setPath(L"Blocker Test Key", L"/keyed");
    PreferenceChangeBlocker user(userEvent, L"Blocker Test Key", false);
    PreferenceChangeBlocker system(userEvent, std::vector<std::wstring>{L"Blocker Test Key"}, true);

    Preferences::systemRoot()->node(L"/keyed")->put(L"k", L"system");
    root->node(L"/keyed")->put(L"k", L"user");

    EXPECT_EQ(L"user", user.getNewValue(L"k", 30000));
    EXPECT_EQ(L"system", system.getNewValue(L"k", 30000));
}

TEST_F(PreferenceChangeBlockerTest, FailedRegistrationOnALaterNodeUndoesTheEarlierOnes) {
    const auto kept = root->node(L"kept");
    const auto removed = root->node(L"removed");
    removed->removeNode();

    EXPECT_EQ(L"Node removed", messageOf<krel_std::KrelException>([&] {
                  PreferenceChangeBlocker(userEvent, NodeList{kept, removed});
              }));
    EXPECT_EQ(0u, listenersOf(kept));
}

TEST_F(PreferenceChangeBlockerTest, DestructionUnregistersAndPassesOverARemovedNode) {
    const auto kept = root->node(L"kept");
    const auto removed = root->node(L"removed");
    {
        PreferenceChangeBlocker blocker(userEvent, NodeList{removed, kept});
        EXPECT_EQ(1u, listenersOf(kept));
        removed->removeNode();
    }
    EXPECT_EQ(0u, listenersOf(kept));
}

TEST_F(PreferenceChangeBlockerTest, BlockerDestroyedWhileItsDeliveryRuns) {
    LogCapture capture;
    Gate entered;
    Gate release;
    const auto node = root->node(L"a");
    std::unique_ptr<PreferenceChangeBlocker> blocker(new PreferenceChangeBlocker(userEvent, node));
    for (int i = 0; i < PreferenceChangeBlocker::DEFAULT_MAX_QUEUE_SIZE; ++i) {
        deliver(*blocker, std::to_wstring(i));
    }
    // The delivery that finds the queue full stops inside its warning until released.
    capture.log().onEvent(L"STD3005", [&] {
        entered.open();
        release.waitOpen();
    });
    node->put(L"k", L"v");
    ASSERT_TRUE(entered.waitOpen());

    blocker.reset();
    release.open();

    const boost::shared_ptr<RecordingListener> after(new RecordingListener);
    node->addPreferenceChangeListener(after);
    node->put(L"k", L"w");
    EXPECT_TRUE(after->waitFor(1));
    node->removePreferenceChangeListener(after);
}

} // namespace
