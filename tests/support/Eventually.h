// Waiting in a test for something another thread brings about.
#pragma once

#include <chrono>
#include <thread>

namespace krel_test {

// Asks the condition again and again, yielding in between, until it holds or the patience has
// run out; whether it held.
template <typename Condition, typename Duration>
bool becomesTrue(Condition&& condition, Duration patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

} // namespace krel_test
