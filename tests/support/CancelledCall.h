// A call made on a library thread (a listener's, an appender's) that the test cancels while the
// call is inside a cancellation point, to show that the library lets the cancellation's
// unwinding through and the process goes on. Every wait is bounded by a patience that a
// passing test never reaches.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace krel_test {

class CancelledCall {
public:
    explicit CancelledCall(std::chrono::milliseconds patience) : patience(patience) {}

    // On the library thread: marks the call as entered, then waits in poll(), a cancellation
    // point, until the thread is cancelled or the patience runs out.
    void enterAndAwaitCancellation() {
        markEntered();
        poll(nullptr, 0, static_cast<int>(patience.count()));
        returned = true;
    }

    bool waitUntilEntered() {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, patience, [&] { return entered; });
    }

    // Cancels the thread inside the call and answers whether the thread ended within the
    // patience without the call returning.
    bool cancelAndWaitForEnd() {
        pid_t id = 0;
        {
            std::lock_guard<std::mutex> guard(mutex);
            pthread_cancel(thread);
            id = threadId;
        }
        const std::string task = "/proc/self/task/" + std::to_string(id);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        struct stat status;
        while (stat(task.c_str(), &status) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return !returned;
    }

private:
    // A frame of its own, so that the frame the cancellation unwinds holds no scoped object:
    // the address sanitizer would otherwise find that object's stack slot still poisoned.
    __attribute__((noinline)) void markEntered() {
        std::lock_guard<std::mutex> guard(mutex);
        thread = pthread_self();
        threadId = gettid();
        entered = true;
        changed.notify_all();
    }

    const std::chrono::milliseconds patience;
    std::mutex mutex;
    std::condition_variable changed;
    pthread_t thread{};
    pid_t threadId = 0;
    bool entered = false;
    std::atomic<bool> returned{false};
};

} // namespace krel_test
