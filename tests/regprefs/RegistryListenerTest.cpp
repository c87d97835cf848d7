#include "prefs/RegistryListener.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "platform/WinSync.h"
#include "prefs/AutoCloseRegistry.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "prefs/RegistryChangeNotifier.h"
#include "regprefs/RegistryPrefsTestSupport.h"

namespace {

using krel_test::Change;
using krel_test::ChangeRecorder;

// A registry listener driven by the test itself: the snapshot is taken, the key changed, and
// the comparison run on the test's thread, so one comparison sees the whole batch. Its events
// reach a recorder registered directly under the node's listener path.
class RegistryListenerTest : public krel_test::RegistryPreferencesTest {
protected:
    void SetUp() override {
        RegistryPreferencesTest::SetUp();
        key = userKey();
        listenerPath = userNode()->buildListenerPath();
        notifier().addPreferenceChangeListener(listenerPath, recorder);
    }

    void TearDown() override {
        notifier().removePreferenceChangeListener(listenerPath, recorder);
        RegistryPreferencesTest::TearDown();
    }

    static krel_std::PreferenceChangeNotifier& notifier() {
        return krel_std::Singleton<krel_std::PreferenceChangeNotifier>::getInstance();
    }

    // A listener on the test's key with its snapshot taken.
    boost::shared_ptr<krel_std::RegistryListener> snapshotListener() {
        const auto listener =
            boost::make_shared<krel_std::RegistryListener>(HKEY_CURRENT_USER, top);
        listener->openKey(HKEY_CURRENT_USER, top, KEY_READ);
        listener->updateKeyValues();
        return listener;
    }

    // Compares and waits for the count of changes the comparison must queue, then for a marker
    // compared afterwards, so nothing queued by the first comparison is still on its way.
    std::vector<Change> compare(krel_std::RegistryListener& listener) {
        listener.updateAndNotify();
        EXPECT_EQ(setString(key, L"~marker", L"m"), ERROR_SUCCESS);
        listener.updateAndNotify();
        EXPECT_TRUE(recorder->waitFor(1));
        std::vector<Change> changes;
        while (changes.empty() || changes.back().first != L"~marker") {
            EXPECT_TRUE(recorder->waitFor(changes.size() + 1));
            changes = recorder->received();
        }
        changes.pop_back();
        return changes;
    }

    HKEY key = nullptr;
    std::wstring listenerPath;
    const boost::shared_ptr<ChangeRecorder> recorder = boost::make_shared<ChangeRecorder>();
};

TEST_F(RegistryListenerTest, NewAndChangedComeInRegistryOrderThenDeletedByNameWithEmptyText) {
    ASSERT_EQ(setString(key, L"zeta", L"old"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"beta", L"gone"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"alpha", L"gone too"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"kept", L"same"), ERROR_SUCCESS);
    const auto listener = snapshotListener();

    ASSERT_EQ(setString(key, L"new", L"n"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"zeta", L"changed"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"kept", L"same"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, L"beta"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, L"alpha"), ERROR_SUCCESS);

    EXPECT_EQ(compare(*listener),
              (std::vector<Change>{
                  {L"zeta", L"changed"}, {L"new", L"n"}, {L"alpha", L""}, {L"beta", L""}}));
}

TEST_F(RegistryListenerTest, TwoChangesOfOneValueGiveOneEventWithTheLastText) {
    const auto listener = snapshotListener();
    ASSERT_EQ(setString(key, L"v", L"first"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"v", L"second"), ERROR_SUCCESS);
    EXPECT_EQ(compare(*listener), (std::vector<Change>{{L"v", L"second"}}));
}

TEST_F(RegistryListenerTest, NumberRewrittenAsEqualTextReportsNothing) {
    ASSERT_EQ(setNumber(key, L"n", 7), ERROR_SUCCESS);
    const auto listener = snapshotListener();
    ASSERT_EQ(setString(key, L"n", L"7"), ERROR_SUCCESS);
    EXPECT_TRUE(compare(*listener).empty());
}

TEST_F(RegistryListenerTest, ValuesLongerThanTheWrappersBufferAreComparedWhole) {
    ASSERT_EQ(setString(key, L"long", std::wstring(600, L'a')), ERROR_SUCCESS);
    const auto listener = snapshotListener();
    EXPECT_EQ(listener->size(), 1);
    const std::wstring changed = std::wstring(599, L'a') + L"b";
    ASSERT_EQ(setString(key, L"long", changed), ERROR_SUCCESS);
    EXPECT_EQ(compare(*listener), (std::vector<Change>{{L"long", changed}}));
}

TEST_F(RegistryListenerTest, ArmedEventFiresForAValueAndNotForASubkey) {
    const auto listener = snapshotListener();
    listener->registerListener();
    createKey(top + L"\\child");
    EXPECT_EQ(WaitForSingleObject(listener->getWaitHandle(), 0), WAIT_TIMEOUT);
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(listener->getWaitHandle(), 30000), WAIT_OBJECT_0);
}

TEST_F(RegistryListenerTest, ShutDownListenerRefusesEveryOperation) {
    const auto listener = snapshotListener();
    listener->shutdown();
    EXPECT_THROW(listener->registerListener(), krel_std::KrelIllegalStateException);
    EXPECT_THROW(listener->updateAndNotify(), krel_std::KrelIllegalStateException);
    EXPECT_EQ(listener->toString().substr(listener->toString().find(L",root=")),
              L",root=80000001,isShutdown=true}");
}

TEST_F(RegistryListenerTest, EmptyPathIsRefused) {
    EXPECT_THROW(krel_std::RegistryListener(HKEY_CURRENT_USER, L""),
                 krel_std::KrelIllegalArgumentException);
}

} // namespace

namespace {

class RegistryScopeTest : public krel_test::RegistryPreferencesTest {};

TEST_F(RegistryScopeTest, FailedCloseAtTheEndOfAScopeIsSwallowed) {
    userNode();
    krel_std::KrelRegistry registry;
    // The premise: closing a key whose handle was closed behind the wrapper's back fails.
    registry.openKey(HKEY_CURRENT_USER, top, KEY_READ);
    {
        krel_std::AutoCloseRegistry peek(registry, HKEY_CURRENT_USER, top, KEY_READ);
        ASSERT_EQ(RegCloseKey(peek.getHandle()), ERROR_SUCCESS);
        EXPECT_THROW(registry.closeKey(), krel_std::KrelException);
    }

    EXPECT_NO_THROW({
        krel_std::AutoCloseRegistry open(registry, HKEY_CURRENT_USER, top, KEY_READ);
        RegCloseKey(open.getHandle());
    });
    EXPECT_FALSE(registry.isHandleOpen());
}

TEST_F(RegistryScopeTest, WaitSetRefusesTheIndicesOfItsOwnEventsAndPastItsEnd) {
    krel_std::RegistryChangeNotifier::Handles handles(
        krel_std::RegistryChangeNotifier::getInstance());
    ASSERT_EQ(handles.getCount(), 2u);
    for (unsigned int index : {0u, 1u, 2u}) {
        EXPECT_THROW(handles.getID(index), krel_std::KrelIllegalArgumentException) << index;
        EXPECT_THROW(handles.updateAndNotify(index), krel_std::KrelIllegalArgumentException)
            << index;
    }
}

} // namespace
