// The synchronisation primitives on their hot paths, each against the standard tool a user would
// pick instead: a free recursive lock, a lock contended by eight threads, a read lock on a free
// read-write lock, a read-mostly
// read-write lock shared by eight threads, an event handing a wake-up to another thread and back,
// and a wait for any of eight objects of which one is ready.
#include <atomic>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <shared_mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/AllocationCounter.h"
#include "thread/AutoLock.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"
#include "thread/Lock.h"
#include "thread/ReadWriteLock.h"

using namespace krel_std;

namespace {

// One write per this many operations on the read-write locks.
const int READS_PER_WRITE = 100;

// The data the contended locks protect: a little work inside each critical section.
struct Shared {
    long first = 0;
    long second = 0;
};

void LockUncontendedKrel(benchmark::State& state) {
    Lock lock;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        lock.lock();
        lock.unlock();
    }
    scope.report(state);
    state.SetLabel("goal<=1.5");
}
BENCHMARK(LockUncontendedKrel)->Name("Lock uncontended/krel");

void LockUncontendedPeer(benchmark::State& state) {
    std::recursive_mutex lock;
    for (auto _ : state) {
        lock.lock();
        lock.unlock();
    }
}
BENCHMARK(LockUncontendedPeer)->Name("Lock uncontended/peer");

void AutoLockContendedKrel(benchmark::State& state) {
    static Lock& lock = *new Lock;
    static Shared shared;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        AutoLock<Lock> guard(lock);
        ++shared.first;
        ++shared.second;
    }
    scope.report(state);
    state.SetLabel("goal<=1.5");
}
BENCHMARK(AutoLockContendedKrel)->Name("AutoLock 8 threads/krel")->Threads(8);

void AutoLockContendedPeer(benchmark::State& state) {
    static std::mutex lock;
    static Shared shared;
    for (auto _ : state) {
        std::lock_guard<std::mutex> guard(lock);
        ++shared.first;
        ++shared.second;
    }
}
BENCHMARK(AutoLockContendedPeer)->Name("AutoLock 8 threads/peer")->Threads(8);

void ReaderLockFreeKrel(benchmark::State& state) {
    ReadWriteLock lock;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        ReadWriteLock::ReaderLock guard(lock);
        benchmark::ClobberMemory();
    }
    scope.report(state);
    state.SetLabel("goal<=1.5");
}
BENCHMARK(ReaderLockFreeKrel)->Name("ReaderLock on a free lock/krel");

void ReaderLockFreePeer(benchmark::State& state) {
    std::shared_mutex lock;
    for (auto _ : state) {
        std::shared_lock<std::shared_mutex> guard(lock);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ReaderLockFreePeer)->Name("ReaderLock on a free lock/peer");

void ReadMostlyKrel(benchmark::State& state) {
    static ReadWriteLock& lock = *new ReadWriteLock;
    static Shared shared;
    bench_support::AllocationScope scope;
    int operation = state.thread_index();
    for (auto _ : state) {
        if (++operation % READS_PER_WRITE == 0) {
            ReadWriteLock::WriterLock guard(lock);
            ++shared.first;
            ++shared.second;
        } else {
            ReadWriteLock::ReaderLock guard(lock);
            benchmark::DoNotOptimize(shared.first == shared.second);
        }
    }
    scope.report(state);
    state.SetLabel("goal<=1.5");
}
BENCHMARK(ReadMostlyKrel)->Name("ReadWriteLock read-mostly/krel")->Threads(8);

void ReadMostlyPeer(benchmark::State& state) {
    static std::shared_mutex lock;
    static Shared shared;
    int operation = state.thread_index();
    for (auto _ : state) {
        if (++operation % READS_PER_WRITE == 0) {
            std::unique_lock<std::shared_mutex> guard(lock);
            ++shared.first;
            ++shared.second;
        } else {
            std::shared_lock<std::shared_mutex> guard(lock);
            benchmark::DoNotOptimize(shared.first == shared.second);
        }
    }
}
BENCHMARK(ReadMostlyPeer)->Name("ReadWriteLock read-mostly/peer")->Threads(8);

// Each iteration hands one wake-up to a partner thread, which answers with another.
void EventWakeUpKrel(benchmark::State& state) {
    Event ping;
    Event pong;
    std::atomic<bool> stop(false);
    std::thread partner([&] {
        while (true) {
            Concurrency::waitForSingleObject(ping, -1);
            if (stop.load()) {
                return;
            }
            pong.signal();
        }
    });
    for (auto _ : state) {
        ping.signal();
        Concurrency::waitForSingleObject(pong, -1);
    }
    stop = true;
    ping.signal();
    partner.join();
    state.SetLabel("goal<=1.2");
}
BENCHMARK(EventWakeUpKrel)->Name("Event wake-up/krel")->UseRealTime();

// The same exchange with a flag, a mutex and a condition variable per direction.
class Flag {
public:
    void signal() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            set = true;
        }
        condition.notify_one();
    }
    void wait() {
        std::unique_lock<std::mutex> guard(mutex);
        condition.wait(guard, [this] { return set; });
        set = false;
    }

private:
    std::mutex mutex;
    std::condition_variable condition;
    bool set = false;
};

void EventWakeUpPeer(benchmark::State& state) {
    Flag ping;
    Flag pong;
    std::atomic<bool> stop(false);
    std::thread partner([&] {
        while (true) {
            ping.wait();
            if (stop.load()) {
                return;
            }
            pong.signal();
        }
    });
    for (auto _ : state) {
        ping.signal();
        pong.wait();
    }
    stop = true;
    ping.signal();
    partner.join();
}
BENCHMARK(EventWakeUpPeer)->Name("Event wake-up/peer")->UseRealTime();

const int WAITED_OBJECTS = 8;

void WaitForAnyReadyKrel(benchmark::State& state) {
    std::vector<std::unique_ptr<Event>> events;
    std::vector<Waitable*> objects;
    for (int i = 0; i < WAITED_OBJECTS; ++i) {
        events.emplace_back(new Event(false, i == WAITED_OBJECTS - 1));
        objects.push_back(events.back().get());
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Concurrency::waitForMultipleObjects(objects, Concurrency::WAIT_FOR_ANY, 0));
    }
    state.SetLabel("goal<=1.0");
}
BENCHMARK(WaitForAnyReadyKrel)->Name("wait for any of 8 ready/krel");

void WaitForAnyReadyPeer(benchmark::State& state) {
    std::vector<pollfd> descriptors;
    for (int i = 0; i < WAITED_OBJECTS; ++i) {
        descriptors.push_back(pollfd{eventfd(i == WAITED_OBJECTS - 1 ? 1 : 0, 0), POLLIN, 0});
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(poll(descriptors.data(), descriptors.size(), 0));
    }
    for (const pollfd& descriptor : descriptors) {
        close(descriptor.fd);
    }
}
BENCHMARK(WaitForAnyReadyPeer)->Name("wait for any of 8 ready/peer");

} // namespace
