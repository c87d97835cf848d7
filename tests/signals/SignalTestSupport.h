// Shared helpers of the signal tests: functions that record the signals they are called with
// (and on which thread), and a fixture that gives every signal the tests use back to SIG_DFL.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <signal.h>
#include <unistd.h>
#include <vector>

#include "platform/SignalDelivery.h"
#include "platform/WinSignal.h"
#include "thread/Thread.h"

namespace krel_test {

/// One call of a recording function.
struct SignalCall {
    int function; ///< which recording function: 0 for recordA, 1 for recordB, 2 for recordC
    int signal;
    uint64_t threadId;
};

/// The calls made to the recording functions, in order.
class SignalRecorder {
public:
    static SignalRecorder& get() {
        static SignalRecorder& recorder = *new SignalRecorder;
        return recorder;
    }

    void record(int function, int signal) {
        std::lock_guard<std::mutex> guard(mutex);
        made.push_back({function, signal, krel_std::Thread::getCurrentThreadId()});
        arrived.notify_all();
    }

    /// Waits until at least `count` calls were made; false when they did not come in 10 s.
    bool waitForCalls(size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, std::chrono::seconds(10),
                                [&] { return made.size() >= count; });
    }

    std::vector<SignalCall> calls() {
        std::lock_guard<std::mutex> guard(mutex);
        return made;
    }

    void clear() {
        std::lock_guard<std::mutex> guard(mutex);
        made.clear();
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<SignalCall> made;
};

inline void recordA(int signal) {
    SignalRecorder::get().record(0, signal);
}
inline void recordB(int signal) {
    SignalRecorder::get().record(1, signal);
}
inline void recordC(int signal) {
    SignalRecorder::get().record(2, signal);
}

/// The handler the kernel has for a signal now.
inline void (*kernelHandler(int signal))(int) {
    struct sigaction current;
    sigaction(signal, nullptr, &current);
    return current.sa_handler;
}

/// Sends a real signal to this process, as another process or the terminal would.
inline void sendToSelf(int signal) {
    ASSERT_EQ(0, kill(getpid(), signal));
}

/// Every test starts with no calls recorded and ends with the signals it may have touched back
/// at SIG_DFL.
class SignalTest : public ::testing::Test {
protected:
    void SetUp() override { SignalRecorder::get().clear(); }
    void TearDown() override {
        for (int signal : {SIGUSR1, SIGUSR2, SIGINT, SIGBREAK, SIGHUP, SIGTERM}) {
            krel_platform::signal(signal, SIG_DFL);
        }
    }

    SignalRecorder& recorder = SignalRecorder::get();
};

} // namespace krel_test
