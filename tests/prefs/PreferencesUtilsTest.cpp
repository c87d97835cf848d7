#include "prefs/PreferencesUtils.h"

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "exception/KrelIllegalArgumentException.h"
#include "prefs/PrefsTestSupport.h"
#include "support/MessageOf.h"
#include "system/KrelSystem.h"
#include "system/Paths.h"

using boost::shared_ptr;
using krel_std::Preferences;
using krel_std::PreferencesUtils;
using krel_test::messageOf;

namespace {

class PreferencesUtilsTest : public krel_test::MemoryPreferencesTest {
protected:
    void SetUp() override {
        MemoryPreferencesTest::SetUp();
        krel_std::Paths::getInstance()->setPath(pathKey, L"/app/settings");
    }

    const wchar_t* const pathKey = L"test.prefs.utils";
};

TEST_F(PreferencesUtilsTest, ReadsTheNodeOfThePathKeyInTheChosenTree) {
    root->node(L"app/settings")->putInt(L"count", 3);
    Preferences::systemRoot()->node(L"app/settings")->put(L"name", L"system");
    EXPECT_EQ(root->node(L"app/settings"), PreferencesUtils::getNode(pathKey, false));
    EXPECT_EQ(3, PreferencesUtils::getInt(pathKey, L"count", 0, false));
    EXPECT_EQ(L"system", PreferencesUtils::getString(pathKey, L"name", L"d", true));
    EXPECT_EQ(L"d", PreferencesUtils::getString(pathKey, L"name", L"d", false));
}

TEST_F(PreferencesUtilsTest, EmptyKeyIsRefusedBeforeThePathsProviderIsAsked) {
    krel_std::KrelSystem::getInstance().putEnv(L"default.Paths", L"krel_test.NoSuchPaths");
    EXPECT_EQ(L"Preferences key value is empty.", messageOf<krel_std::KrelException>([&] {
                  PreferencesUtils::getString(pathKey, L"", L"d", false);
              }));
    EXPECT_THROW(PreferencesUtils::getInt(pathKey, L"", 0, false),
                 krel_std::KrelIllegalArgumentException);
    krel_std::KrelSystem::getInstance().putEnv(L"default.Paths", L"");
}

TEST_F(PreferencesUtilsTest, PathKeyWithoutAPathIsRefused) {
    EXPECT_EQ(L"Preferences path value is empty.", messageOf<krel_std::KrelException>([] {
                  PreferencesUtils::getNode(L"test.prefs.unset", false);
              }));
}

TEST_F(PreferencesUtilsTest, RemovedNodeAnswersTheDefault) {
    // A failed removal of the parent leaves the removed child in the parent's cache.
    const shared_ptr<Preferences> app = root->node(L"app");
    app->node(L"settings")->put(L"name", L"gone");
    app->node(L"zzz");
    store()->failingRemovals.insert(L"/app/zzz");
    EXPECT_ANY_THROW(app->removeNode());
    EXPECT_EQ(L"d", PreferencesUtils::getString(pathKey, L"name", L"d", false));
    EXPECT_EQ(9, PreferencesUtils::getInt(pathKey, L"name", 9, false));
}

} // namespace
