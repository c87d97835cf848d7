#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>

#include "exception/KrelIllegalArgumentException.h"
#include "system/VersionInfo.h"
#include "system/VersionInfoListener.h"
#include "system/VersionInfoRegistry.h"

using krel_std::VersionInfo;
using krel_std::VersionInfoListener;
using krel_std::VersionInfoRegistry;

namespace {

template <class Call> std::wstring messageOf(Call call) {
    try {
        call();
    } catch (const krel_std::KrelIllegalArgumentException& error) {
        return error.getMessage();
    }
    return L"(nothing thrown)";
}

VersionInfo module(const std::wstring& name, const std::wstring& version = L"1.0") {
    VersionInfo info(name);
    info.setValue(L"FileVersion", version);
    return info;
}

// Records what it is told, as "+name version" and "-name version".
class RecordingListener : public VersionInfoListener {
public:
    void onModuleAdded(const VersionInfo& info) override { record(L"+", info); }
    void onModuleRemoved(const VersionInfo& info) override { record(L"-", info); }

    std::vector<std::wstring> heard() const {
        std::lock_guard<std::mutex> guard(mutex);
        return events;
    }

private:
    void record(const std::wstring& sign, const VersionInfo& info) {
        std::lock_guard<std::mutex> guard(mutex);
        events.push_back(sign + info.getModuleName() + L" " + info.getValue(L"FileVersion"));
    }

    mutable std::mutex mutex;
    std::vector<std::wstring> events;
};

// Throws from every call it gets, counting them.
class ThrowingListener : public VersionInfoListener {
public:
    void onModuleAdded(const VersionInfo&) override { fail(); }
    void onModuleRemoved(const VersionInfo&) override { fail(); }

    std::atomic<int> calls{0};

private:
    void fail() {
        ++calls;
        throw std::runtime_error("listener failed");
    }
};

// The registry is process-wide: every test leaves it without modules and without the
// listeners it added.
class VersionInfoRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& listener : added) {
            registry.removeListener(listener);
        }
        for (const std::wstring& name : registry.getModuleList()) {
            registry.removeModule(name);
        }
    }

    template <class T> boost::shared_ptr<T> listen() {
        const boost::shared_ptr<T> listener(new T);
        added.push_back(listener);
        registry.addListener(listener);
        return listener;
    }

    VersionInfoRegistry& registry = krel_std::Singleton<VersionInfoRegistry>::getInstance();
    std::vector<boost::shared_ptr<VersionInfoListener>> added;
};

TEST(VersionInfoTest, ValuesAreKeptByKeyInOrder) {
    VersionInfo info(L"core");
    info.setValue(L"ProductName", L"Core");
    info.setValue(L"FileVersion", L"1.0");
    info.setValue(L"FileVersion", L"1.1");
    EXPECT_EQ(L"core", info.getModuleName());
    EXPECT_EQ(L"1.1", info.getValue(L"FileVersion"));
    EXPECT_EQ((std::set<std::wstring>{L"FileVersion", L"ProductName"}), info.getKeys());
    EXPECT_EQ(L"", VersionInfo().getModuleName());
}

TEST(VersionInfoTest, EmptyOrUnknownKeyIsRefused) {
    VersionInfo info(L"core");
    EXPECT_EQ(L"Key name is empty", messageOf([&] { info.setValue(L"", L"x"); }));
    EXPECT_EQ(L"Key name is empty", messageOf([&] { info.getValue(L""); }));
    EXPECT_EQ(L"Key not found", messageOf([&] { info.getValue(L"Missing"); }));
    EXPECT_TRUE(info.getKeys().empty());
}

TEST_F(VersionInfoRegistryTest, StoresACopyAndHandsOutCopies) {
    VersionInfo original = module(L"core", L"1.0");
    registry.addModule(original);
    original.setValue(L"FileVersion", L"changed by caller");
    VersionInfo read = registry.getModule(L"core");
    read.setValue(L"FileVersion", L"changed by reader");
    EXPECT_EQ(L"1.0", registry.getModule(L"core").getValue(L"FileVersion"));
}

TEST_F(VersionInfoRegistryTest, ModuleListIsOrderedByNameAndEmptyAtFirst) {
    EXPECT_TRUE(registry.getModuleList().empty());
    registry.addModule(module(L"zeta"));
    registry.addModule(module(L"alpha"));
    EXPECT_EQ((std::set<std::wstring>{L"alpha", L"zeta"}), registry.getModuleList());
}

TEST_F(VersionInfoRegistryTest, SecondAdditionOfANameIsRefusedAndNotReported) {
    const auto listener = listen<RecordingListener>();
    registry.addModule(module(L"core", L"1.0"));
    EXPECT_EQ(L"Module by that name already exists",
              messageOf([&] { registry.addModule(module(L"core", L"2.0")); }));
    EXPECT_EQ(L"1.0", registry.getModule(L"core").getValue(L"FileVersion"));
    EXPECT_EQ((std::vector<std::wstring>{L"+core 1.0"}), listener->heard());
}

TEST_F(VersionInfoRegistryTest, BadNamesAreRefusedWithTheirOwnTexts) {
    EXPECT_EQ(L"Module name cannont be empty",
              messageOf([&] { registry.addModule(VersionInfo()); }));
    EXPECT_EQ(L"Module of that name is not found",
              messageOf([&] { registry.removeModule(L"missing"); }));
    EXPECT_EQ(L"Module by that name is not found",
              messageOf([&] { registry.getModule(L"missing"); }));
}

TEST_F(VersionInfoRegistryTest, ListenersHearAdditionsAndRemovalsWithTheStoredValues) {
    const auto listener = listen<RecordingListener>();
    registry.addModule(module(L"core", L"1.0"));
    registry.addModule(module(L"net", L"2.5"));
    registry.removeModule(L"core");
    EXPECT_EQ((std::vector<std::wstring>{L"+core 1.0", L"+net 2.5", L"-core 1.0"}),
              listener->heard());
    EXPECT_EQ((std::set<std::wstring>{L"net"}), registry.getModuleList());
}

// Reads the registry from inside its calls.
class ReadingListener : public VersionInfoListener {
public:
    void onModuleAdded(const VersionInfo& info) override { seen(info); }
    void onModuleRemoved(const VersionInfo& info) override { seen(info); }

    std::vector<bool> listed;

private:
    void seen(const VersionInfo& info) {
        const std::set<std::wstring> names =
            krel_std::Singleton<VersionInfoRegistry>::getInstance().getModuleList();
        listed.push_back(names.count(info.getModuleName()) == 1);
    }
};

TEST_F(VersionInfoRegistryTest, ListenerReadsTheRegistryWithTheModulePresentWhileTold) {
    const auto listener = listen<ReadingListener>();
    registry.addModule(module(L"core"));
    registry.removeModule(L"core");
    EXPECT_EQ((std::vector<bool>{true, true}), listener->listed);
}

TEST_F(VersionInfoRegistryTest, ListenerAddedTwiceIsToldOnceAndRemovedListenerNotAtAll) {
    const auto once = listen<RecordingListener>();
    registry.addListener(once);
    const auto removed = listen<RecordingListener>();
    registry.removeListener(removed);
    registry.addModule(module(L"core"));
    EXPECT_EQ(1u, once->heard().size());
    EXPECT_TRUE(removed->heard().empty());
}

TEST_F(VersionInfoRegistryTest, ThrowingListenerIsDroppedAndTheOthersAreStillTold) {
    const auto thrower = listen<ThrowingListener>();
    const auto first = listen<RecordingListener>();
    const auto second = listen<RecordingListener>();
    registry.addModule(module(L"core"));
    registry.addModule(module(L"net"));
    registry.removeModule(L"net");
    EXPECT_EQ(1, thrower->calls.load());
    EXPECT_EQ(3u, first->heard().size());
    EXPECT_EQ(3u, second->heard().size());
}

TEST_F(VersionInfoRegistryTest, ListenerThrowingOnRemovalIsDropped) {
    registry.addModule(module(L"core"));
    const auto thrower = listen<ThrowingListener>();
    registry.removeModule(L"core");
    registry.addModule(module(L"net"));
    EXPECT_EQ(1, thrower->calls.load());
    EXPECT_TRUE(registry.getModuleList().count(L"core") == 0);
}

// Holds the first call of each thread until the given number of threads are inside a
// notification, so that they go on together. Gives up waiting after a generous limit.
class Gate {
public:
    explicit Gate(int threads) : expected(threads) {}

    void enter() {
        std::unique_lock<std::mutex> guard(mutex);
        if (!entered.insert(std::this_thread::get_id()).second) {
            return;
        }
        opened.notify_all();
        opened.wait_for(guard, std::chrono::seconds(10),
                        [this] { return static_cast<int>(entered.size()) >= expected; });
    }

private:
    const int expected;
    std::mutex mutex;
    std::condition_variable opened;
    std::set<std::thread::id> entered;
};

// Throws from every call, after passing the gate.
class GatedThrowingListener : public ThrowingListener {
public:
    explicit GatedThrowingListener(Gate& gate) : gate(gate) {}

    void onModuleRemoved(const VersionInfo& info) override {
        gate.enter();
        ThrowingListener::onModuleRemoved(info);
    }

private:
    Gate& gate;
};

// Removals notify side by side (both hold only read access) and meet the same throwing listeners
// together: each is told at most once per notification and is gone before the next one begins.
TEST_F(VersionInfoRegistryTest, ThrowingListenersAreDroppedSafelyDuringConcurrentNotifications) {
    const int threadCount = 4;
    const int modulesPerThread = 10;
    for (int t = 0; t < threadCount; ++t) {
        for (int m = 0; m < modulesPerThread; ++m) {
            registry.addModule(module(L"m" + std::to_wstring(t) + L"." + std::to_wstring(m)));
        }
    }
    Gate gate(threadCount);
    std::vector<boost::shared_ptr<ThrowingListener>> throwers;
    for (int i = 0; i < 16; ++i) {
        throwers.emplace_back(new GatedThrowingListener(gate));
        added.push_back(throwers.back());
        registry.addListener(throwers.back());
    }
    const auto recorder = listen<RecordingListener>();
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([this, t] {
            for (int m = 0; m < modulesPerThread; ++m) {
                registry.removeModule(L"m" + std::to_wstring(t) + L"." + std::to_wstring(m));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    registry.addModule(module(L"after"));
    registry.removeModule(L"after");
    for (const auto& thrower : throwers) {
        EXPECT_GE(thrower->calls.load(), 1);
        EXPECT_LE(thrower->calls.load(), threadCount);
    }
    EXPECT_EQ(static_cast<std::size_t>(threadCount * modulesPerThread + 2),
              recorder->heard().size());
}

} // namespace
