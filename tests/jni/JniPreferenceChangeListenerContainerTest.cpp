// The container of the listeners of the keys that Java monitors. It is one per process, so each
// test uses keys of its own.
#include "jni/JniPreferenceChangeListenerContainer.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using krel_std::JniPreferenceChangeListenerContainer;

const int USER_ROOT = static_cast<int>(0x80000001u);
const int SYSTEM_ROOT = static_cast<int>(0x80000002u);

JniPreferenceChangeListenerContainer& container() {
    return JniPreferenceChangeListenerContainer::getInstance();
}

TEST(JniPreferenceChangeListenerContainerTest, KeyAddedTwiceAnswersTheSameListener) {
    const auto first = container().addListener(USER_ROOT, L"twice\\key");
    const auto second = container().addListener(USER_ROOT, L"twice\\key");
    ASSERT_TRUE(first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, container().getListener(USER_ROOT, L"twice\\key"));
}

TEST(JniPreferenceChangeListenerContainerTest, RemovedKeyAnswersNothing) {
    container().addListener(USER_ROOT, L"removed\\key");
    container().removeListener(USER_ROOT, L"removed\\key");
    EXPECT_FALSE(container().getListener(USER_ROOT, L"removed\\key"));
}

TEST(JniPreferenceChangeListenerContainerTest, KeysAreTheCallersRawText) {
    const auto backslashed = container().addListener(USER_ROOT, L"raw\\key");
    const auto slashed = container().addListener(USER_ROOT, L"raw/key");
    EXPECT_NE(backslashed, slashed);
}

TEST(JniPreferenceChangeListenerContainerTest, RootsKeepTheirOwnEntries) {
    const auto user = container().addListener(USER_ROOT, L"rooted\\key");
    const auto system = container().addListener(SYSTEM_ROOT, L"rooted\\key");
    EXPECT_NE(user, system);
    // Every root but the system one counts as the user tree for the nodes, yet the entry is
    // keyed by the number the caller gave.
    EXPECT_NE(user, container().addListener(0, L"rooted\\key"));
}

// Java threads start and stop monitoring at the same time; the map stays sound.
TEST(JniPreferenceChangeListenerContainerTest, ConcurrentStartsAndStopsKeepEveryEntry) {
    const int rounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, rounds] {
            const std::wstring prefix = L"busy" + std::to_wstring(t) + L"\\";
            for (int i = 0; i < rounds; ++i) {
                container().addListener(USER_ROOT, prefix + L"kept" + std::to_wstring(i % 50));
                container().addListener(USER_ROOT, prefix + L"gone" + std::to_wstring(i));
                container().removeListener(USER_ROOT, prefix + L"gone" + std::to_wstring(i));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        const std::wstring prefix = L"busy" + std::to_wstring(t) + L"\\";
        for (int i = 0; i < 50; ++i) {
            EXPECT_TRUE(container().getListener(USER_ROOT, prefix + L"kept" + std::to_wstring(i)));
        }
        for (int i = 0; i < rounds; ++i) {
            EXPECT_FALSE(container().getListener(USER_ROOT, prefix + L"gone" + std::to_wstring(i)));
        }
    }
}

} // namespace
