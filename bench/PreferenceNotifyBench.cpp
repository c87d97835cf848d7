// How long a queued preference change takes to reach its listener: from the producer's
// enqueuePreferenceChangeEvent to the moment the dispatch thread calls the listener, against a
// plain hand-off of the same event to a waiting thread through a mutex, a deque and a
// std::condition_variable. The time of each iteration is that latency (manual time); the
// counter latency_us is the median latency of the run in microseconds.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "pattern/Singleton.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "prefs/Preferences.h"
#include "support/Timing.h"

namespace {

typedef std::chrono::steady_clock Clock;
typedef boost::shared_ptr<krel_std::PreferenceChangeEvent> EventPtr;

// Notes when it was last called; the benchmark waits for each call in turn.
class TimingListener {
public:
    void called() {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard<std::mutex> guard(mutex);
            at = now;
            ++calls;
        }
        changed.notify_one();
    }

    // The time of the call after the first `seen` ones; false after five seconds without it.
    bool waitBeyond(long seen, Clock::time_point& when) {
        std::unique_lock<std::mutex> guard(mutex);
        if (!changed.wait_for(guard, std::chrono::seconds(5), [&] { return calls > seen; })) {
            return false;
        }
        when = at;
        return true;
    }

    long count() {
        std::lock_guard<std::mutex> guard(mutex);
        return calls;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    Clock::time_point at;
    long calls = 0;
};

class NotifiedListener : public krel_std::PreferenceChangeListener {
public:
    void preferenceChange(const EventPtr&) override { timing.called(); }
    TimingListener timing;
};

// The peer: one consumer thread that takes events from a deque under a mutex and a condition
// variable and calls its listener for each.
class HandOffQueue {
public:
    explicit HandOffQueue(TimingListener& listener)
        : listener(listener), consumer([this] { consume(); }) {}
    ~HandOffQueue() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        ready.notify_one();
        consumer.join();
    }

    void push(const EventPtr& event) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            events.push_back(event);
        }
        ready.notify_one();
    }

private:
    void consume() {
        std::unique_lock<std::mutex> guard(mutex);
        for (;;) {
            ready.wait(guard, [this] { return stopping || !events.empty(); });
            if (stopping) {
                return;
            }
            EventPtr event = events.front();
            events.pop_front();
            guard.unlock();
            listener.called();
            guard.lock();
        }
    }

    TimingListener& listener;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<EventPtr> events;
    bool stopping = false;
    std::thread consumer;
};

const wchar_t* const LISTENER_PATH = L"BENCH_ROOT/notify";

EventPtr benchEvent() {
    return krel_std::PreferenceChangeEvent::newInstance(boost::shared_ptr<krel_std::Preferences>(),
                                                        L"key", L"value", LISTENER_PATH);
}

// Times one hand-off per iteration: push(event) at the start, the listener's call at the end.
template <class Push>
void timeHandOffs(benchmark::State& state, TimingListener& timing, Push push) {
    const EventPtr event = benchEvent();
    std::vector<double> latencies;
    for (auto _ : state) {
        const long seen = timing.count();
        const Clock::time_point start = Clock::now();
        push(event);
        Clock::time_point called;
        if (!timing.waitBeyond(seen, called)) {
            state.SkipWithError("the listener was not called");
            break;
        }
        const double elapsed = std::chrono::duration<double>(called - start).count();
        state.SetIterationTime(elapsed);
        latencies.push_back(elapsed);
    }
    state.counters["latency_us"] = bench_support::medianMicroseconds(latencies);
}

void krelEnqueueToListener(benchmark::State& state) {
    krel_std::PreferenceChangeNotifier& notifier =
        krel_std::Singleton<krel_std::PreferenceChangeNotifier>::getInstance();
    boost::shared_ptr<NotifiedListener> listener(new NotifiedListener);
    notifier.addPreferenceChangeListener(LISTENER_PATH, listener);
    timeHandOffs(state, listener->timing, [&notifier](const EventPtr& event) {
        notifier.enqueuePreferenceChangeEvent(event);
    });
    notifier.removePreferenceChangeListener(LISTENER_PATH, listener);
    state.SetLabel("latency_us<=20");
}

void peerEnqueueToListener(benchmark::State& state) {
    TimingListener timing;
    HandOffQueue queue(timing);
    timeHandOffs(state, timing, [&queue](const EventPtr& event) { queue.push(event); });
}

} // namespace

BENCHMARK(krelEnqueueToListener)->Name("preference change to listener/krel")->UseManualTime();
BENCHMARK(peerEnqueueToListener)->Name("preference change to listener/peer")->UseManualTime();
