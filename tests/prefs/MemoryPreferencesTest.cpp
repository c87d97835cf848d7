#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/PrefsTestSupport.h"

using boost::shared_ptr;
using krel_std::PreferenceChangeEvent;
using krel_std::Preferences;

namespace {

// Keeps "key=value@listenerPath" of every event it hears.
class RecordingListener : public krel_std::PreferenceChangeListener {
public:
    void preferenceChange(const shared_ptr<PreferenceChangeEvent>& event) override {
        std::lock_guard<std::mutex> guard(mutex);
        heard.push_back(event->getKey() + L"=" + event->getNewValue() + L"@" +
                        event->getListenerPath());
        changed.notify_all();
    }

    // The first `count` events, waiting up to a generous bound for them.
    std::vector<std::wstring> await(std::size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait_for(guard, std::chrono::seconds(30), [&] { return heard.size() >= count; });
        return heard;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::wstring> heard;
};

class MemoryBackEndTest : public krel_test::MemoryPreferencesTest {};

TEST_F(MemoryBackEndTest, ListenerHearsOneEventPerChangedNewOrRemovedValue) {
    const shared_ptr<Preferences> node = root->node(L"watched");
    node->put(L"before", L"unheard");
    const shared_ptr<RecordingListener> listener(new RecordingListener);
    node->addPreferenceChangeListener(listener);
    node->put(L"k", L"1");
    node->put(L"k", L"1");
    node->put(L"k", L"2");
    node->remove(L"k");
    node->remove(L"k");
    node->put(L"last", L"x");
    EXPECT_EQ((std::vector<std::wstring>{L"k=1@MEMORY_USER/watched", L"k=2@MEMORY_USER/watched",
                                         L"k=@MEMORY_USER/watched", L"last=x@MEMORY_USER/watched"}),
              listener->await(4));
    node->removePreferenceChangeListener(listener);
}

} // namespace
