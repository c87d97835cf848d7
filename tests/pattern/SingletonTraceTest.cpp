#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "log/StaticLogTestHook.h"
#include "pattern/Singleton.h"
#include "support/RecordingLogTest.h"

using krel_std::LogEvent;
using krel_std_internal::StaticLogTestHook;

namespace {

class TracedSingleton : public krel_std::Singleton<TracedSingleton>, private boost::noncopyable {
private:
    friend class krel_std::Singleton<TracedSingleton>;
    TracedSingleton() = default;
    static const wchar_t* getSingletonName() { return L"krel_test::TracedSingleton"; }
};

class QuietSingleton : public krel_std::Singleton<QuietSingleton>, private boost::noncopyable {
private:
    friend class krel_std::Singleton<QuietSingleton>;
    QuietSingleton() = default;
    static const wchar_t* getSingletonName() { return L"krel_test::QuietSingleton"; }
};

class SingletonTraceTest : public krel_test::RecordingLogTest {
protected:
    std::vector<std::wstring> messagesOf(const std::wstring& function) {
        std::vector<std::wstring> messages;
        for (const LogEvent& event : appender->events) {
            if (event.function == function) {
                messages.push_back(event.message);
            }
        }
        return messages;
    }
};

} // namespace

TEST_F(SingletonTraceTest, CreationIsTracedWithTheSingletonName) {
    StaticLogTestHook::setThreshold(krel_std::TRACE);
    TracedSingleton::getInstance();
    TracedSingleton::getInstance();
    const std::vector<std::wstring> expected{L"Creating singleton <krel_test::TracedSingleton>.",
                                             L"Created singleton <krel_test::TracedSingleton>."};
    EXPECT_EQ(expected,
              messagesOf(L"krel_std::Singleton<class krel_test::TracedSingleton>::getInstance"));
}

TEST_F(SingletonTraceTest, CreationBelowTheThresholdIsSilent) {
    StaticLogTestHook::setThreshold(krel_std::DEBUG);
    QuietSingleton::getInstance();
    EXPECT_TRUE(
        messagesOf(L"krel_std::Singleton<class krel_test::QuietSingleton>::getInstance").empty());
}
