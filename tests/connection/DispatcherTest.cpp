// Dispatchers shared by key, and events handed to the listeners of their name.
#include "connection/Dispatcher.h"

#include <algorithm>
#include <atomic>
#include <boost/weak_ptr.hpp>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection/DispatcherFactory.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "support/RecordingLogTest.h"

namespace {

using krel_std::DispatcherFactory;
using krel_std::IDispatcher;
using krel_std::IEvent;
using krel_std::IEventListener;
using krel_std::Singleton;

class NamedEvent : public IEvent {
public:
    explicit NamedEvent(const std::wstring& name) : name(name) {}
    std::wstring toString() const override { return L"NamedEvent{" + name + L"}"; }
    std::wstring getName() const override { return name; }
    std::wstring getSource() const override { return L"test"; }

private:
    const std::wstring name;
};

// Appends its tag to a log shared by the listeners of a test, then runs the test's action.
class RecordingListener : public IEventListener {
public:
    RecordingListener(const std::string& tag, std::vector<std::string>& log) : tag(tag), log(log) {}

    void submit(const boost::shared_ptr<IEvent>&) override {
        log.push_back(tag);
        if (action) {
            action();
        }
    }

    std::function<void()> action;

private:
    const std::string tag;
    std::vector<std::string>& log;
};

class DispatcherTest : public ::testing::Test {
protected:
    // A key no other test uses: dispatchers live as long as the process.
    static std::wstring uniqueKey() {
        static std::atomic<int> counter(0);
        return L"DispatcherTest-" + std::to_wstring(++counter);
    }

    static DispatcherFactory& factory() { return Singleton<DispatcherFactory>::getInstance(); }

    boost::shared_ptr<RecordingListener> listener(const std::string& tag) {
        return boost::shared_ptr<RecordingListener>(new RecordingListener(tag, log));
    }

    static boost::shared_ptr<IEvent> event(const std::wstring& name) {
        return boost::shared_ptr<IEvent>(new NamedEvent(name));
    }

    // The listeners' tags ordered as the dispatcher calls them: by their shared pointers.
    static std::vector<std::string> inPointerOrder(
        std::vector<std::pair<boost::shared_ptr<RecordingListener>, std::string>> tagged) {
        std::sort(tagged.begin(), tagged.end());
        std::vector<std::string> tags;
        for (const auto& entry : tagged) {
            tags.push_back(entry.second);
        }
        return tags;
    }

    std::vector<std::string> log;
    boost::shared_ptr<IDispatcher> dispatcher = factory().getDispatcher(uniqueKey());
};

TEST_F(DispatcherTest, OneKeyGivesOneDispatcher) {
    const std::wstring key = uniqueKey();
    const boost::shared_ptr<IDispatcher> first = factory().getDispatcher(key);
    EXPECT_EQ(factory().getDispatcher(key), first);
    EXPECT_NE(factory().getDispatcher(uniqueKey()), first);
    EXPECT_EQ(first->getKey(), key);
    EXPECT_EQ(first->toString(), L"Dispatcher{key='" + key + L"'}");
    EXPECT_EQ(factory().toString(), L"DispatcherFactory{}");
}

TEST_F(DispatcherTest, AKeyIsValidOnlyOnceItsDispatcherWasMade) {
    const std::wstring key = uniqueKey();
    EXPECT_FALSE(factory().isValidKey(key));
    factory().getDispatcher(key);
    EXPECT_TRUE(factory().isValidKey(key));
    EXPECT_FALSE(factory().isValidKey(L""));
}

TEST_F(DispatcherTest, AnEmptyKeyIsRefused) {
    try {
        factory().getDispatcher(L"");
        FAIL() << "an empty key was taken";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Key value is empty.");
    }
}

TEST_F(DispatcherTest, AnEventReachesTheListenersOfItsNameOnly) {
    const auto first = listener("first");
    const auto second = listener("second");
    const auto other = listener("other");
    dispatcher->addListener(first, L"ping");
    dispatcher->addListener(second, L"ping");
    dispatcher->addListener(other, L"pong");
    dispatcher->submit(event(L"ping"));
    EXPECT_EQ(log, inPointerOrder({{first, "first"}, {second, "second"}}));
}

TEST_F(DispatcherTest, AnEventWithoutListenersReachesNobody) {
    dispatcher->addListener(listener("first"), L"ping");
    dispatcher->submit(event(L"nobody"));
    EXPECT_TRUE(log.empty());
}

TEST_F(DispatcherTest, AListenerAddedTwiceForANameIsCalledOnce) {
    const auto first = listener("first");
    dispatcher->addListener(first, L"ping");
    dispatcher->addListener(first, std::vector<std::wstring>{L"ping"});
    dispatcher->submit(event(L"ping"));
    EXPECT_EQ(log, (std::vector<std::string>{"first"}));
}

TEST_F(DispatcherTest, TheListFormSkipsEmptyNamesWhileTheSingleFormRefusesThem) {
    const auto first = listener("first");
    dispatcher->addListener(first, std::vector<std::wstring>{L"ping", L"", L"pong"});
    dispatcher->submit(event(L"ping"));
    dispatcher->submit(event(L"pong"));
    EXPECT_EQ(log, (std::vector<std::string>{"first", "first"}));
    try {
        dispatcher->addListener(first, std::wstring());
        FAIL() << "an empty name was taken";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Event name value is empty.");
    }
}

TEST_F(DispatcherTest, NullListenersAndEventsAreRefused) {
    const boost::shared_ptr<IEventListener> none;
    try {
        dispatcher->addListener(none, L"ping");
        FAIL() << "a null listener was taken";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Event listener value is NULL.");
    }
    try {
        dispatcher->submit(boost::shared_ptr<IEvent>());
        FAIL() << "a null event was taken";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Event value is NULL.");
    }
}

TEST_F(DispatcherTest, ListenersThrowingLibraryOrStandardExceptionsDoNotStopTheOthers) {
    const auto first = listener("first");
    const auto second = listener("second");
    const auto third = listener("third");
    first->action = [] { throw krel_std::KrelIOException(L"broken"); };
    second->action = [] { throw std::runtime_error("broken"); };
    third->action = [] { throw krel_std::KrelIOException(L"broken"); };
    for (const auto& each : {first, second, third}) {
        dispatcher->addListener(each, L"ping");
    }
    EXPECT_NO_THROW(dispatcher->submit(event(L"ping")));
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(DispatcherTest, AnythingElseAListenerThrowsReachesTheSubmitter) {
    const auto first = listener("first");
    first->action = [] { throw 42; };
    dispatcher->addListener(first, L"ping");
    EXPECT_THROW(dispatcher->submit(event(L"ping")), int);
}

TEST_F(DispatcherTest, RemovingAListenerRemovesItUnderEveryName) {
    const auto first = listener("first");
    const auto second = listener("second");
    dispatcher->addListener(first, std::vector<std::wstring>{L"ping", L"pong"});
    dispatcher->addListener(second, L"pong");
    dispatcher->removeListener(first);
    dispatcher->submit(event(L"ping"));
    dispatcher->submit(event(L"pong"));
    EXPECT_EQ(log, (std::vector<std::string>{"second"}));
}

TEST_F(DispatcherTest, RemovingByNameLeavesTheListenerUnderItsOtherNames) {
    const auto first = listener("first");
    dispatcher->addListener(first, std::vector<std::wstring>{L"ping", L"pong", L"pang"});
    dispatcher->removeListener(first, L"ping");
    dispatcher->removeListener(first, std::vector<std::wstring>{L"pong", L""});
    for (const wchar_t* name : {L"ping", L"pong", L"pang"}) {
        dispatcher->submit(event(name));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"first"}));
}

TEST_F(DispatcherTest, RemoveAllListenersEmptiesTheDispatcher) {
    dispatcher->addListener(listener("first"), L"ping");
    dispatcher->removeAllListeners();
    dispatcher->submit(event(L"ping"));
    EXPECT_TRUE(log.empty());
}

TEST_F(DispatcherTest, AListenerRemovingItselfIsCalledInThatDispatchAndNotTheNext) {
    const auto first = listener("first");
    const auto second = listener("second");
    IDispatcher* const shared = dispatcher.get();
    first->action = [shared, &first] { shared->removeListener(first); };
    dispatcher->addListener(first, L"ping");
    dispatcher->addListener(second, L"ping");
    dispatcher->submit(event(L"ping"));
    EXPECT_EQ(log.size(), 2u);
    log.clear();
    dispatcher->submit(event(L"ping"));
    EXPECT_EQ(log, (std::vector<std::string>{"second"}));
}

TEST_F(DispatcherTest, TheDispatcherKeepsAListenerAliveUntilItIsRemoved) {
    boost::shared_ptr<RecordingListener> first = listener("first");
    const boost::weak_ptr<RecordingListener> watched = first;
    dispatcher->addListener(first, L"ping");
    first.reset();
    dispatcher->submit(event(L"ping"));
    EXPECT_EQ(log, (std::vector<std::string>{"first"}));
    dispatcher->removeAllListeners();
    EXPECT_TRUE(watched.expired());
}

// The dispatcher's lines at DEBUG, recorded by an appender of the static log.
class DispatcherTraceTest : public DispatcherTest {
protected:
    std::vector<std::wstring> messages() const { return log.messages(); }

    krel_test::RecordingLog log{krel_std::DEBUG};
};

TEST_F(DispatcherTraceTest, AThrowingListenerIsTracedWithTheKeyTheEventAndTheException) {
    const auto first = listener("first");
    dispatcher->addListener(first, L"ping");
    first->action = [] { throw krel_std::KrelIOException(L"broken"); };
    dispatcher->submit(event(L"ping"));
    first->action = [] { throw std::runtime_error("worn"); };
    dispatcher->submit(event(L"ping"));
    const std::wstring prefix =
        L"Dispatcher " + dispatcher->getKey() + L". IEventListener::submit(NamedEvent{ping}) ";
    EXPECT_EQ(messages(), (std::vector<std::wstring>{
                              prefix + L"unexpectedly throw <" +
                                  krel_std::KrelIOException(L"broken").toString() + L">.",
                              prefix + L"unexpectedly throw <worn>."}));
}

TEST_F(DispatcherTraceTest, AnEventWithoutListenersIsTraced) {
    dispatcher->submit(event(L"nobody"));
    EXPECT_EQ(messages(),
              (std::vector<std::wstring>{L"No listeners registered for event <nobody>."}));
}

} // namespace
