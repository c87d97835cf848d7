#include "pattern/SingletonManager.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include "base/Class.h"
#include "base/LibraryMain.h"
#include "exception/KrelIllegalStateException.h"
#include "system/KrelSystem.h"

using krel_std::SingletonManager;

namespace {

// The children below leave through std::_Exit: the objects the unload hook lets go are meant to
// stay allocated, and no exit handler needs to run again.

// Runs the unload hook, then exits with 0 only when the manager refuses with its message.
void unloadThenAskForManager() {
    krel_std_internal::krelLibraryDetach();
    try {
        SingletonManager::getInstance();
    } catch (const krel_std::KrelIllegalStateException& e) {
        std::_Exit(e.getMessage() == L"Singleton locks have been destroyed." ? 0 : 2);
    }
    std::_Exit(1);
}

// Runs the unload hook twice, then exits with 0 when singletons still work.
void unloadThenUseSingletons() {
    krel_std_internal::krelLibraryDetach();
    krel_std_internal::krelLibraryDetach();
    krel_std::KrelSystem::getInstance().setProperty(L"after unload", L"yes");
    const bool systemWorks =
        krel_std::KrelSystem::getInstance().getProperty(L"after unload", L"") == L"yes";
    const bool registryWorks = krel_std::Class::getInstance().toString() == L"Class{}";
    std::_Exit(systemWorks && registryWorks ? 0 : 1);
}

} // namespace

TEST(SingletonManagerTest, IsAvailableOnceTheLibraryIsLoaded) {
    EXPECT_NO_THROW(SingletonManager::getInstance());
}

TEST(SingletonManagerTest, AnswersTheSameManagerEveryTime) {
    EXPECT_EQ(&SingletonManager::getInstance(), &SingletonManager::getInstance());
}

TEST(SingletonManagerDeathTest, FailsWithItsMessageAfterTheUnloadHook) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(unloadThenAskForManager(), ::testing::ExitedWithCode(0), "");
}

TEST(SingletonManagerDeathTest, UnloadLeavesSingletonsAliveAndRunsOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(unloadThenUseSingletons(), ::testing::ExitedWithCode(0), "");
}
