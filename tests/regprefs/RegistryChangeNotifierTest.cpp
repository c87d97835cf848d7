#include "prefs/RegistryChangeNotifier.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "prefs/PreferenceChangeBlocker.h"
#include "regprefs/RegistryPrefsTestSupport.h"
#include "thread/Event.h"

namespace {

using krel_test::Change;
using krel_test::ChangeRecorder;

class RegistryChangeNotifierTest : public krel_test::RegistryPreferencesTest {
protected:
    // A watched user node at /<top><path> with its recorder.
    boost::shared_ptr<ChangeRecorder> watch(const std::wstring& path = L"") {
        const auto recorder = boost::make_shared<ChangeRecorder>();
        listen(userNode(path), recorder);
        return recorder;
    }

    int tool(const std::vector<std::string>& arguments) { return runTool(arguments); }

    // Writes a REG_SZ value through the admin tool, another process.
    void toolWrite(const std::string& key, const std::string& name, const std::string& text) {
        ASSERT_EQ(runTool({"write", key, name, "REG_SZ", text}), 0);
    }
};

TEST_F(RegistryChangeNotifierTest, ValueSetByAnotherProcessReachesTheNodesListener) {
    const auto recorder = watch();

    toolWrite(toolKey("HKCU"), "v", "from afar");

    ASSERT_TRUE(recorder->waitFor(1));
    EXPECT_EQ(recorder->received().front(), (Change{L"v", L"from afar"}));
    EXPECT_EQ(recorder->listenerPaths().front(), L"HKEY_CURRENT_USER\\" + top);
}

TEST_F(RegistryChangeNotifierTest, EqualRewriteSubkeyAndBinaryValueReportNothing) {
    const HKEY key = userKey();
    ASSERT_EQ(setString(key, L"same", L"text"), ERROR_SUCCESS);
    const BYTE bytes[2] = {1, 2};
    ASSERT_EQ(RegSetValueExW(key, L"binary", 0, REG_BINARY, bytes, 2), ERROR_SUCCESS);
    const auto recorder = watch();

    toolWrite(toolKey("HKCU"), "same", "text");
    ASSERT_EQ(tool({"write", toolKey("HKCU"), "binary", "REG_BINARY", "0304"}), 0);
    userNode(L"/sub")->put(L"below", L"x");
    toolWrite(toolKey("HKCU"), "marker", "m");

    ASSERT_TRUE(recorder->waitFor(1));
    EXPECT_EQ(recorder->received(), (std::vector<Change>{{L"marker", L"m"}}));
}

TEST_F(RegistryChangeNotifierTest, ChangedLongValueIsReportedWithItsWholeText) {
    const std::wstring longText(4000, L'q');
    userNode()->put(L"long", std::wstring(300, L'p'));
    const auto recorder = watch();

    userNode()->put(L"long", longText);

    ASSERT_TRUE(recorder->waitFor(1));
    EXPECT_EQ(recorder->received().front(), (Change{L"long", longText}));
}

TEST_F(RegistryChangeNotifierTest, DeletedWatchedKeyQueuesNothingAndKeepsItsListener) {
    userNode(L"/doomed")->put(L"v", L"x");
    const auto doomed = watch(L"/doomed");
    const auto other = watch(L"/other");

    ASSERT_EQ(tool({"delete-key", toolKey("HKCU", "\\doomed")}), 0);
    toolWrite(toolKey("HKCU", "\\other"), "marker", "m");

    ASSERT_TRUE(other->waitFor(1));
    EXPECT_TRUE(doomed->received().empty());
    EXPECT_EQ(listenersOf(userNode(L"/doomed")), 1u);
}

TEST_F(RegistryChangeNotifierTest, TwoListenersOnOneKeyBothHearAndOneRemovalKeepsTheWatch) {
    const auto first = watch();
    const auto second = watch();
    toolWrite(toolKey("HKCU"), "v", "1");
    ASSERT_TRUE(first->waitFor(1));
    ASSERT_TRUE(second->waitFor(1));

    userNode()->removePreferenceChangeListener(first);
    listening.erase(listening.begin());
    toolWrite(toolKey("HKCU"), "v", "2");
    ASSERT_TRUE(second->waitFor(2));
    EXPECT_EQ(second->received().back(), (Change{L"v", L"2"}));
    EXPECT_EQ(first->received().size(), 1u);
}

TEST_F(RegistryChangeNotifierTest, RemovingAListenerNeverRegisteredKeepsTheWatch) {
    const auto registered = watch();
    userNode()->removePreferenceChangeListener(boost::make_shared<ChangeRecorder>());

    toolWrite(toolKey("HKCU"), "v", "heard");
    ASSERT_TRUE(registered->waitFor(1));
    EXPECT_EQ(registered->received().front(), (Change{L"v", L"heard"}));
}

TEST_F(RegistryChangeNotifierTest, MissingKeyIsRefusedAndKeepsNoListener) {
    const auto node = userNode(L"/vanishing");
    ASSERT_EQ(tool({"delete-key", toolKey("HKCU", "\\vanishing")}), 0);
    EXPECT_THROW(node->addPreferenceChangeListener(boost::make_shared<ChangeRecorder>()),
                 krel_std::KrelObjectNotFoundException);
    EXPECT_EQ(listenersOf(node), 0u);
}

TEST_F(RegistryChangeNotifierTest, ListenerOnARootNodeIsRefusedForItsEmptyKey) {
    const auto root = krel_std::RegistryPreferences::getUserRoot();
    try {
        root->addPreferenceChangeListener(boost::make_shared<ChangeRecorder>());
        FAIL() << "a root key was watched";
    } catch (const krel_std::KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Key value is empty.");
    }
    EXPECT_EQ(listenersOf(root), 0u);
}

TEST_F(RegistryChangeNotifierTest, UnknownRootIsRefusedWithItsHexadecimalValue) {
    try {
        krel_std::RegistryChangeNotifier::getInstance().addPreferenceChangeListener(
            static_cast<int>(0x80000003u), L"a", L"HKEY_USERS\\a",
            boost::make_shared<ChangeRecorder>());
        FAIL() << "the root was taken";
    } catch (const krel_std::KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Invalid root: <80000003>.");
    }
    EXPECT_EQ(
        krel_std::Singleton<krel_std::PreferenceChangeNotifier>::getInstance().getNumberOfListeners(
            L"HKEY_USERS\\a"),
        0u);
}

TEST_F(RegistryChangeNotifierTest, SixtyTwoKeysAreServedAndTheSixtyThirdIsRefused) {
    std::vector<boost::shared_ptr<ChangeRecorder>> recorders;
    for (int i = 0; i < 62; ++i) {
        recorders.push_back(watch(L"/k" + std::to_wstring(i)));
    }
    const auto extra = userNode(L"/k62");
    try {
        extra->addPreferenceChangeListener(boost::make_shared<ChangeRecorder>());
        FAIL() << "a 63rd key was watched";
    } catch (const krel_std::KrelOutOfResourcesException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Unable to monitor more than 62 registry keys.");
    }
    EXPECT_EQ(listenersOf(extra), 0u);

    toolWrite(toolKey("HKCU", "\\k61"), "v", "last");
    toolWrite(toolKey("HKCU", "\\k0"), "v", "first");
    ASSERT_TRUE(recorders[61]->waitFor(1));
    ASSERT_TRUE(recorders[0]->waitFor(1));
    EXPECT_EQ(recorders[61]->received().front(), (Change{L"v", L"last"}));
}

TEST_F(RegistryChangeNotifierTest, ValueSetByAnotherProcessReachesABlocker) {
    userNode(L"/blocked");
    krel_std::Event event;
    krel_std::PreferenceChangeBlocker blocker(event, userNode(L"/blocked"));

    toolWrite(toolKey("HKCU", "\\blocked"), "setting", "from afar");

    EXPECT_EQ(blocker.getNewValue(L"setting", 30000), L"from afar");
}

} // namespace
