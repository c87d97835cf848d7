#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/ILogAppender.h"
#include "log/StaticLogTestHook.h"
#include "pattern/Singleton.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

using krel_std::LogEvent;
using krel_std_internal::StaticLogTestHook;

namespace {

class RecordingAppender : public krel_std::ILogAppender {
public:
    RecordingAppender()
        : ILogAppender(boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter),
                       boost::shared_ptr<krel_std::ILogEventLayout>()) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return new RecordingAppender;
    }

    std::vector<LogEvent> recorded() {
        krel_std::AutoLock<krel_std::Lock> guard(lock);
        return events;
    }

protected:
    void localAppend(const LogEvent& event) override {
        krel_std::AutoLock<krel_std::Lock> guard(lock);
        events.push_back(event);
    }
    void localAppend(const std::wstring&) override {}

private:
    krel_std::Lock lock;
    std::vector<LogEvent> events;
};

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

class SingletonTraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        StaticLogTestHook::initialize(L"SingletonTraceTest", {{L"recorder", appender}});
    }
    void TearDown() override { StaticLogTestHook::reset(); }

    std::vector<std::wstring> messagesOf(const std::wstring& function) {
        std::vector<std::wstring> messages;
        for (const LogEvent& event : appender->recorded()) {
            if (event.function == function) {
                messages.push_back(event.message);
            }
        }
        return messages;
    }

    boost::shared_ptr<RecordingAppender> appender{new RecordingAppender};
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
