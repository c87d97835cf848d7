// The calls a test double received, in order, for a test that waits on another thread's
// calls: each call is kept as a value and a test waits, without polling, for a number of them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace krel_test {

template <typename Call> class CallLog {
public:
    // patience bounds every wait; a passing test never waits for it.
    explicit CallLog(std::chrono::milliseconds patience) : patience(patience) {}

    void add(Call call) {
        std::lock_guard<std::mutex> guard(mutex);
        calls.push_back(std::move(call));
        changed.notify_all();
    }

    // Whether count calls arrived within the patience.
    bool waitFor(size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, patience, [&] { return calls.size() >= count; });
    }

    // The calls so far, oldest first.
    std::vector<Call> all() {
        std::lock_guard<std::mutex> guard(mutex);
        return calls;
    }

private:
    const std::chrono::milliseconds patience;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;
};

} // namespace krel_test
