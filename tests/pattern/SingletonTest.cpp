#include "pattern/Singleton.h"

#include <atomic>
#include <boost/noncopyable.hpp>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Class.h"
#include "system/KrelSystem.h"

using krel_std::Singleton;

namespace {

std::atomic<int> constructions{0};

class CountedSingleton : public Singleton<CountedSingleton>, private boost::noncopyable {
private:
    friend class Singleton<CountedSingleton>;
    CountedSingleton() { ++constructions; }
    static const wchar_t* getSingletonName() { return L"krel_test::CountedSingleton"; }
};

std::atomic<int> failuresLeft{1};

class FailingOnceSingleton : public Singleton<FailingOnceSingleton>, private boost::noncopyable {
private:
    friend class Singleton<FailingOnceSingleton>;
    FailingOnceSingleton() {
        if (failuresLeft.fetch_sub(1) > 0) {
            throw std::runtime_error("construction refused");
        }
    }
    static const wchar_t* getSingletonName() { return L"krel_test::FailingOnceSingleton"; }
};

// Releases every waiting thread at once, so their first calls overlap as far as possible.
class StartGate {
public:
    void wait() {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        opened.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

template <class T> std::vector<T*> firstCallsFromThreads(int threadCount) {
    StartGate gate;
    std::vector<T*> seen(threadCount, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&gate, &seen, i] {
            gate.wait();
            seen[i] = &Singleton<T>::getInstance();
        });
    }
    gate.release();
    for (auto& thread : threads) {
        thread.join();
    }
    return seen;
}

} // namespace

TEST(SingletonTest, ConcurrentFirstCallsShareOneInstanceConstructedOnce) {
    const auto seen = firstCallsFromThreads<CountedSingleton>(16);
    for (CountedSingleton* instance : seen) {
        EXPECT_EQ(seen.front(), instance);
    }
    EXPECT_EQ(1, constructions.load());
    EXPECT_EQ(seen.front(), &CountedSingleton::getInstance());
}

TEST(SingletonTest, LibrarySingletonIsOneObjectAcrossThreads) {
    const auto seen = firstCallsFromThreads<krel_std::KrelSystem>(8);
    for (krel_std::KrelSystem* instance : seen) {
        EXPECT_EQ(&krel_std::KrelSystem::getInstance(), instance);
    }
}

TEST(SingletonTest, FailedConstructionIsRetriedByTheNextCall) {
    EXPECT_THROW(FailingOnceSingleton::getInstance(), std::runtime_error);
    FailingOnceSingleton* instance = nullptr;
    EXPECT_NO_THROW(instance = &FailingOnceSingleton::getInstance());
    EXPECT_EQ(instance, &FailingOnceSingleton::getInstance());
}

TEST(SingletonTest, SingletonsAnnounceTheirQualifiedNames) {
    EXPECT_STREQ(L"krel_std::Class", Singleton<krel_std::Class>::singletonName());
    EXPECT_STREQ(L"krel_std::KrelSystem", Singleton<krel_std::KrelSystem>::singletonName());
    EXPECT_STREQ(L"krel_test::CountedSingleton", CountedSingleton::singletonName());
}
