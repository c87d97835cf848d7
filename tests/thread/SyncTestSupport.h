#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <pthread.h>
#include <thread>

namespace sync_test {

// Generous bound for anything that must happen "soon".
const std::chrono::milliseconds SOON(10000);
// Short bound used only to check that something has NOT happened yet (a blocked thread).
const std::chrono::milliseconds BRIEFLY(100);

// Runs work on its own thread; the result (or exception) is read through the future. A thread
// that is still blocked when the test ends is detached instead of hanging the test program.
template <typename Result> class Background {
public:
    explicit Background(std::function<Result()> work) {
        std::packaged_task<Result()> task(std::move(work));
        future = task.get_future().share();
        thread = std::thread(std::move(task));
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    ~Background() {
        if (finishedWithin(std::chrono::milliseconds(0))) {
            thread.join();
        } else {
            thread.detach();
        }
    }

    bool finishedWithin(std::chrono::milliseconds bound) {
        return future.wait_for(bound) == std::future_status::ready;
    }

    // Waits (boundedly) for the result; rethrows what the work threw.
    Result get() {
        finishedWithin(SOON);
        return future.get();
    }

private:
    std::shared_future<Result> future;
    std::thread thread;
};

// Waits, yielding, until condition holds or the bound passes; answers whether it holds.
inline bool eventually(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + SOON;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Runs a wait on a POSIX thread that is cancelled once it has entered the wait: cancellation is
// requested before the wait starts and acts at the wait's first cancellation point. Answers
// whether the thread ended through cancellation.
inline bool cancelInsideWait(const std::function<void()>& wait) {
    struct Shared {
        const std::function<void()>* wait;
        std::atomic<bool> cancelRequested{false};
    } shared;
    shared.wait = &wait;
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        Shared* shared = static_cast<Shared*>(arg);
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
        eventually([shared] { return shared->cancelRequested.load(); });
        pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
        (*shared->wait)();
        return nullptr;
    };
    if (pthread_create(&thread, nullptr, body, &shared) != 0) {
        return false;
    }
    pthread_cancel(thread);
    shared.cancelRequested = true;
    void* result = nullptr;
    pthread_join(thread, &result);
    return result == PTHREAD_CANCELED;
}

} // namespace sync_test
