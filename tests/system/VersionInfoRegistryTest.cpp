#include "system/VersionInfoRegistry.h"

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "support/MessageOf.h"
#include "system/VersionInfo.h"
#include "system/VersionInfoListener.h"

using krel_std::VersionInfo;
using krel_std::VersionInfoRegistry;
using krel_test::messageOf;

namespace {

VersionInfo module(const std::wstring& name, const std::wstring& version = L"1.0") {
    VersionInfo info(name);
    info.setValue(L"FileVersion", version);
    return info;
}

// Hands both calls to one function, with "+" for an addition and "-" for a removal.
class FunctionListener : public krel_std::VersionInfoListener {
public:
    typedef std::function<void(const std::wstring&, const VersionInfo&)> Call;
    explicit FunctionListener(Call call) : call(std::move(call)) {}

    void onModuleAdded(const VersionInfo& info) override { call(L"+", info); }
    void onModuleRemoved(const VersionInfo& info) override { call(L"-", info); }

private:
    Call call;
};

// Records what it is told, as "+name version" and "-name version".
struct Recording {
    void operator()(const std::wstring& sign, const VersionInfo& info) {
        std::lock_guard<std::mutex> guard(mutex);
        heard.push_back(sign + info.getModuleName() + L" " + info.getValue(L"FileVersion"));
    }
    std::mutex mutex;
    std::vector<std::wstring> heard;
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

    boost::shared_ptr<krel_std::VersionInfoListener> listen(FunctionListener::Call call) {
        const boost::shared_ptr<krel_std::VersionInfoListener> listener(
            new FunctionListener(std::move(call)));
        added.push_back(listener);
        registry.addListener(listener);
        return listener;
    }

    void record(Recording& recording) {
        listen([&recording](const std::wstring& sign, const VersionInfo& info) {
            recording(sign, info);
        });
    }

    // A listener that throws from every call, counting them.
    void throwing(std::atomic<int>& calls, std::function<void()> before = nullptr) {
        listen([&calls, before](const std::wstring&, const VersionInfo&) {
            if (before) {
                before();
            }
            ++calls;
            throw std::runtime_error("listener failed");
        });
    }

    VersionInfoRegistry& registry = krel_std::Singleton<VersionInfoRegistry>::getInstance();
    std::vector<boost::shared_ptr<krel_std::VersionInfoListener>> added;
};

TEST(VersionInfoTest, ValuesAreKeptByKeyInOrderAndBadKeysRefused) {
    VersionInfo info(L"core");
    info.setValue(L"ProductName", L"Core");
    info.setValue(L"FileVersion", L"1.0");
    info.setValue(L"FileVersion", L"1.1");
    EXPECT_EQ(L"1.1", info.getValue(L"FileVersion"));
    EXPECT_EQ((std::set<std::wstring>{L"FileVersion", L"ProductName"}), info.getKeys());
    EXPECT_EQ(L"Key name is empty",
              messageOf<krel_std::KrelIllegalArgumentException>([&] { info.setValue(L"", L"x"); }));
    EXPECT_EQ(L"Key name is empty",
              messageOf<krel_std::KrelIllegalArgumentException>([&] { info.getValue(L""); }));
    EXPECT_EQ(L"Key not found", messageOf<krel_std::KrelIllegalArgumentException>(
                                    [&] { info.getValue(L"Missing"); }));
}

TEST_F(VersionInfoRegistryTest, StoresACopyAndHandsOutCopies) {
    EXPECT_TRUE(registry.getModuleList().empty());
    VersionInfo original = module(L"core", L"1.0");
    registry.addModule(original);
    original.setValue(L"FileVersion", L"changed by caller");
    VersionInfo read = registry.getModule(L"core");
    read.setValue(L"FileVersion", L"changed by reader");
    EXPECT_EQ(L"1.0", registry.getModule(L"core").getValue(L"FileVersion"));
}

TEST_F(VersionInfoRegistryTest, SecondAdditionOfANameIsRefusedAndNotReported) {
    Recording recording;
    record(recording);
    registry.addModule(module(L"core", L"1.0"));
    EXPECT_EQ(L"Module by that name already exists",
              messageOf<krel_std::KrelIllegalArgumentException>(
                  [&] { registry.addModule(module(L"core", L"2.0")); }));
    EXPECT_EQ(L"1.0", registry.getModule(L"core").getValue(L"FileVersion"));
    EXPECT_EQ((std::vector<std::wstring>{L"+core 1.0"}), recording.heard);
}

TEST_F(VersionInfoRegistryTest, BadNamesAreRefusedWithTheirOwnTexts) {
    EXPECT_EQ(L"Module name cannont be empty", messageOf<krel_std::KrelIllegalArgumentException>(
                                                   [&] { registry.addModule(VersionInfo()); }));
    EXPECT_EQ(L"Module of that name is not found",
              messageOf<krel_std::KrelIllegalArgumentException>(
                  [&] { registry.removeModule(L"missing"); }));
    EXPECT_EQ(
        L"Module by that name is not found",
        messageOf<krel_std::KrelIllegalArgumentException>([&] { registry.getModule(L"missing"); }));
}

TEST_F(VersionInfoRegistryTest, ListenersHearAdditionsAndRemovalsWithTheStoredValues) {
    Recording recording;
    record(recording);
    registry.addModule(module(L"core", L"1.0"));
    registry.addModule(module(L"net", L"2.5"));
    registry.removeModule(L"core");
    EXPECT_EQ((std::vector<std::wstring>{L"+core 1.0", L"+net 2.5", L"-core 1.0"}),
              recording.heard);
    EXPECT_EQ((std::set<std::wstring>{L"net"}), registry.getModuleList());
}

TEST_F(VersionInfoRegistryTest, ListenerReadsTheRegistryWithTheModulePresentWhileTold) {
    std::vector<bool> listed;
    listen([&](const std::wstring&, const VersionInfo& info) {
        listed.push_back(registry.getModuleList().count(info.getModuleName()) == 1);
    });
    registry.addModule(module(L"core"));
    registry.removeModule(L"core");
    EXPECT_EQ((std::vector<bool>{true, true}), listed);
}

TEST_F(VersionInfoRegistryTest, ListenerAddedTwiceIsToldOnceAndRemovedListenerNotAtAll) {
    Recording once;
    Recording removed;
    registry.addListener(listen(std::ref(once)));
    registry.removeListener(listen(std::ref(removed)));
    registry.addModule(module(L"core"));
    EXPECT_EQ(1u, once.heard.size());
    EXPECT_TRUE(removed.heard.empty());
}

TEST_F(VersionInfoRegistryTest, ThrowingListenerIsDroppedAndTheOthersAreStillTold) {
    std::atomic<int> calls{0};
    Recording first;
    Recording second;
    throwing(calls);
    record(first);
    record(second);
    registry.addModule(module(L"core"));
    registry.addModule(module(L"net"));
    registry.removeModule(L"net");
    EXPECT_EQ(1, calls.load());
    EXPECT_EQ(3u, first.heard.size());
    EXPECT_EQ(3u, second.heard.size());
}

// Holds the first call of each thread until the given number of threads are inside a
// notification, so that they go on together. Gives up waiting after a generous limit.
class Gate {
public:
    explicit Gate(int threads) : expected(threads) {}

    void enter() {
        std::unique_lock<std::mutex> guard(mutex);
        if (entered.insert(std::this_thread::get_id()).second) {
            opened.notify_all();
            opened.wait_for(guard, std::chrono::seconds(10),
                            [this] { return static_cast<int>(entered.size()) >= expected; });
        }
    }

private:
    const int expected;
    std::mutex mutex;
    std::condition_variable opened;
    std::set<std::thread::id> entered;
};

// Removals notify side by side (both hold only read access) and meet the same throwing listeners
// together: each is told at most once per notification and is gone before the next one begins.
TEST_F(VersionInfoRegistryTest, ThrowingListenersAreDroppedSafelyDuringConcurrentNotifications) {
    const int threadCount = 4;
    const int modulesPerThread = 10;
    auto name = [](int t, int m) { return L"m" + std::to_wstring(t) + L"." + std::to_wstring(m); };
    for (int t = 0; t < threadCount; ++t) {
        for (int m = 0; m < modulesPerThread; ++m) {
            registry.addModule(module(name(t, m)));
        }
    }
    Gate gate(threadCount);
    std::vector<std::atomic<int>> calls(16);
    for (std::atomic<int>& count : calls) {
        throwing(count, [&gate] { gate.enter(); });
    }
    Recording recording;
    record(recording);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int m = 0; m < modulesPerThread; ++m) {
                registry.removeModule(name(t, m));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    registry.addModule(module(L"after"));
    for (const std::atomic<int>& count : calls) {
        EXPECT_GE(count.load(), 1);
        EXPECT_LE(count.load(), threadCount);
    }
    EXPECT_EQ(static_cast<std::size_t>(threadCount * modulesPerThread + 1), recording.heard.size());
}

} // namespace
