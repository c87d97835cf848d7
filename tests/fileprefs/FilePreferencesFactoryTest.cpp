// The file factory: chosen by name it hands out the file roots, and the file tree keeps its own
// layout whichever factory is configured.
#include "fileprefs/FilePrefsTestSupport.h"
#include "prefs/ChangeTestSupport.h"
#include "support/MemoryPreferences.h"

using krel_std::FilePreferences;
using krel_std::Preferences;
using krel_test::FilePreferencesTest;

namespace {

void chooseFactory(const std::wstring& name) {
    krel_std::KrelSystem::getInstance().setProperty(
        krel_test::MemoryPreferencesSelection::variable(), name);
}

} // namespace

TEST_F(FilePreferencesTest, FactoryChosenByNameHandsOutTheFileRootsAndIsLoggedOnce) {
    krel_test::MemoryPreferencesSelection selection;
    Preferences::userRoot();
    krel_test::LogCapture capture;
    chooseFactory(L"krel_std.FilePreferencesFactory");
    EXPECT_EQ(FilePreferences::getUserRoot(), Preferences::userRoot());
    EXPECT_EQ(FilePreferences::getSystemRoot(), Preferences::systemRoot());
    const auto logged = capture.log().withId(L"STD0002");
    ASSERT_EQ(1u, logged.size());
    EXPECT_EQ(L"Using krel_std.FilePreferencesFactory PreferencesFactory.", logged[0].message);
}

TEST_F(FilePreferencesTest, UserNodesStayUnderTheUserRootWithAnotherFactoryConfigured) {
    krel_test::MemoryPreferencesSelection selection;
    const auto child = node->node(L"elsewhere");
    child->flush();
    EXPECT_TRUE(std::filesystem::is_regular_file(userDirectory("elsewhere/prefs.cfg")));
    EXPECT_EQ(L"USER_ROOT/" + std::wstring(nodeName.begin(), nodeName.end()) + L"/elsewhere",
              child->buildListenerPath());
}
