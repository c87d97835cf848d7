// A registry of its own for each registry preferences test, nodes below a top key named after
// the test, listeners that record what they receive, and removal of every listener a test
// added before its registry goes away.
#pragma once

#include <boost/shared_ptr.hpp>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Utf16.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "prefs/RegistryPreferences.h"
#include "registry/RegistryTestSupport.h"

namespace krel_test {

// One received change: key and new value.
typedef std::pair<std::wstring, std::wstring> Change;

// Records the key and new value of every event it receives, in order.
class ChangeRecorder : public krel_std::PreferenceChangeListener {
public:
    void
    preferenceChange(const boost::shared_ptr<krel_std::PreferenceChangeEvent>& event) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            changes.emplace_back(event->getKey(), event->getNewValue());
            paths.push_back(event->getListenerPath());
        }
        arrived.notify_all();
    }

    // Whether count changes arrived within a generous limit.
    bool waitFor(std::size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, std::chrono::seconds(30),
                                [&] { return changes.size() >= count; });
    }

    std::vector<Change> received() {
        std::lock_guard<std::mutex> guard(mutex);
        return changes;
    }

    std::vector<std::wstring> listenerPaths() {
        std::lock_guard<std::mutex> guard(mutex);
        return paths;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Change> changes;
    std::vector<std::wstring> paths;
};

class RegistryPreferencesTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        // Node objects outlive a test in the roots' caches while each test has a registry of
        // its own: every run of a test gets a top key never used before in this process.
        static int runs = 0;
        top = krel_platform::utf8ToWide(
            std::string("T") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
            "_" + std::to_string(++runs));
    }

    void TearDown() override {
        for (const auto& entry : listening) {
            try {
                entry.first->removePreferenceChangeListener(entry.second);
            } catch (...) {
                ADD_FAILURE() << "a listener could not be removed";
            }
        }
        RegistryTest::TearDown();
    }

    // The user node at /<top><path>.
    boost::shared_ptr<krel_std::Preferences> userNode(const std::wstring& path = L"") {
        return krel_std::RegistryPreferences::getUserRoot()->node(L"/" + top + path);
    }

    boost::shared_ptr<krel_std::Preferences> systemNode(const std::wstring& path = L"") {
        return krel_std::RegistryPreferences::getSystemRoot()->node(L"/" + top + path);
    }

    // The key of /<top><subkey> for the admin tool, such as "HKCU\TName\a".
    std::string toolKey(const char* hive, const std::string& subkey = "") const {
        return std::string(hive) + "\\" + krel_platform::wideToUtf8(top) + subkey;
    }

    void listen(const boost::shared_ptr<krel_std::Preferences>& node,
                const boost::shared_ptr<krel_std::PreferenceChangeListener>& listener) {
        node->addPreferenceChangeListener(listener);
        listening.emplace_back(node, listener);
    }

    static unsigned int listenersOf(const boost::shared_ptr<krel_std::Preferences>& node) {
        return krel_std::Singleton<krel_std::PreferenceChangeNotifier>::getInstance()
            .getNumberOfListeners(node->buildListenerPath());
    }

    // The key below HKEY_CURRENT_USER of the user node /<top><path>, made with its node and
    // opened for the test.
    HKEY userKey(const std::wstring& path = L"") {
        userNode(path);
        HKEY key = nullptr;
        EXPECT_EQ(openKey(top + path, key), ERROR_SUCCESS);
        return key;
    }

    std::wstring top;
    std::vector<std::pair<boost::shared_ptr<krel_std::Preferences>,
                          boost::shared_ptr<krel_std::PreferenceChangeListener>>>
        listening;
};

} // namespace krel_test
