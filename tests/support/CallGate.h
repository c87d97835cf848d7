// Holds a call made on another thread until the test releases it, and lets the test wait until
// the call has come in. Every wait is bounded by a patience that a passing test never reaches.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace krel_test {

class CallGate {
public:
    explicit CallGate(std::chrono::milliseconds patience) : patience(patience) {}

    // On the held thread: marks the call as entered and waits for the release.
    void enterAndWait() {
        std::unique_lock<std::mutex> guard(mutex);
        entered = true;
        changed.notify_all();
        changed.wait_for(guard, patience, [&] { return released; });
    }

    // Whether the held call came in within the patience.
    bool waitUntilEntered() {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, patience, [&] { return entered; });
    }

    void release() {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        changed.notify_all();
    }

private:
    const std::chrono::milliseconds patience;
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

} // namespace krel_test
