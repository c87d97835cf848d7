// The connection manager against an echoing loopback peer, each path against what a user would
// write by hand: how soon a lost peer is noticed with heart beats every 20 ms, how soon the
// connection is back after the peer returns with recovery cycles every 50 ms, and a connect and
// disconnect through the manager against a bare socket connect and close.
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "../tests/support/LoopbackPeer.h"
#include "connection/ConnectionManager.h"
#include "connection/IConnectionStatusListener.h"
#include "support/AllocationCounter.h"
#include "support/Timing.h"

namespace {

typedef std::chrono::steady_clock Clock;

const int HEART_BEAT_MS = 20;
const int RECOVERY_MS = 50;
const int MEASURED_ROUNDS = 20;

// Remembers whether the connection is up and lets the benchmark wait for a change.
class StatusWatch : public krel_std::IConnectionStatusListener {
public:
    std::wstring toString() override { return L"StatusWatch"; }
    void statusChanged(bool isUp, const std::wstring&) override {
        std::lock_guard<std::mutex> guard(mutex);
        up = isUp;
        changed.notify_all();
    }
    bool waitFor(bool isUp) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return up == isUp; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool up = false;
};

// A manager with heart beats and recovery on, connected to the peer.
struct ManagedConnection {
    ManagedConnection()
        : client(new krel_test::LoopbackClient({peer.port()})), manager(L"bench", client),
          watch(new StatusWatch) {
        manager.setHeartBeatSender(client);
        manager.setHeartBeatInterval(HEART_BEAT_MS);
        manager.setRecoveryInterval(RECOVERY_MS);
        manager.setHeartBeatEnabled(true);
        manager.addListener(watch);
        manager.connect();
    }

    krel_test::LoopbackPeer peer;
    boost::shared_ptr<krel_test::LoopbackClient> client;
    krel_std::ConnectionManager manager;
    boost::shared_ptr<StatusWatch> watch;
};

// What a user would write instead: a thread that beats every interval and, after a failure,
// tries to connect again every recovery interval.
class HandWrittenMonitor {
public:
    explicit HandWrittenMonitor(int port) : port(port) {
        connectOnce();
        worker = std::thread([this] { run(); });
    }
    ~HandWrittenMonitor() {
        stop = true;
        worker.join();
        if (fd >= 0) {
            close(fd);
        }
    }
    bool waitFor(bool isUp) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return up == isUp; });
    }

private:
    bool connectOnce() {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = krel_test::loopbackAddress(port);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            close(fd);
            fd = -1;
            return false;
        }
        report(true);
        return true;
    }
    void report(bool isUp) {
        std::lock_guard<std::mutex> guard(mutex);
        up = isUp;
        changed.notify_all();
    }
    void run() {
        while (!stop) {
            if (fd >= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(HEART_BEAT_MS));
                char beat = 'b';
                if (send(fd, &beat, 1, MSG_NOSIGNAL) != 1 || recv(fd, &beat, 1, 0) != 1) {
                    close(fd);
                    fd = -1;
                    report(false);
                    connectOnce();
                }
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(RECOVERY_MS));
                connectOnce();
            }
        }
    }

    const int port;
    int fd = -1;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool up = false;
    std::thread worker;
};

// Times, per round, the peer's disappearance to the reported loss (noticing) or the peer's
// return to the reported connection (reconnecting); the other half of the round is untimed.
template <typename Waiter>
void timeRounds(benchmark::State& state, krel_test::LoopbackPeer& peer, Waiter& waiter,
                bool timeReturn, const char* counter) {
    std::vector<double> latencies;
    for (auto _ : state) {
        const Clock::time_point lost = Clock::now();
        peer.goAway();
        const bool noticed = waiter.waitFor(false);
        const Clock::time_point back = Clock::now();
        peer.comeBack();
        if (!noticed || !waiter.waitFor(true)) {
            state.SkipWithError("the change was not reported");
            break;
        }
        const Clock::time_point end = Clock::now();
        const double elapsed =
            std::chrono::duration<double>(timeReturn ? end - back : back - lost).count();
        state.SetIterationTime(elapsed);
        latencies.push_back(elapsed);
    }
    state.counters[counter] = bench_support::medianMilliseconds(latencies);
}

void LossNoticedKrel(benchmark::State& state) {
    ManagedConnection connection;
    connection.watch->waitFor(true);
    timeRounds(state, connection.peer, *connection.watch, false, "loss_ms");
    state.SetLabel("loss_ms<=45");
}

void LossNoticedPeer(benchmark::State& state) {
    krel_test::LoopbackPeer peer;
    HandWrittenMonitor monitor(peer.port());
    timeRounds(state, peer, monitor, false, "loss_ms");
}

void ReconnectedKrel(benchmark::State& state) {
    ManagedConnection connection;
    connection.watch->waitFor(true);
    timeRounds(state, connection.peer, *connection.watch, true, "reconnect_ms");
    state.SetLabel("reconnect_ms<=55");
}

void ReconnectedPeer(benchmark::State& state) {
    krel_test::LoopbackPeer peer;
    HandWrittenMonitor monitor(peer.port());
    timeRounds(state, peer, monitor, true, "reconnect_ms");
}

void ConnectDisconnectKrel(benchmark::State& state) {
    krel_test::LoopbackPeer peer;
    boost::shared_ptr<krel_test::LoopbackClient> client(
        new krel_test::LoopbackClient({peer.port()}));
    krel_std::ConnectionManager manager(L"bench", client);
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        manager.connect();
        manager.disconnect();
    }
    scope.report(state);
    state.SetLabel("goal<=1.2");
}

void ConnectDisconnectPeer(benchmark::State& state) {
    krel_test::LoopbackPeer peer;
    const sockaddr_in address = krel_test::loopbackAddress(peer.port());
    // The same socket options as the loopback client's.
    const linger reset{1, 0};
    const timeval timeout{krel_test::LoopbackClient::RECEIVE_TIMEOUT_MS / 1000, 0};
    for (auto _ : state) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            state.SkipWithError("connect failed");
        }
        close(fd);
    }
}

} // namespace

BENCHMARK(LossNoticedKrel)
    ->Name("connection loss noticed/krel")
    ->UseManualTime()
    ->Iterations(MEASURED_ROUNDS);
BENCHMARK(LossNoticedPeer)
    ->Name("connection loss noticed/peer")
    ->UseManualTime()
    ->Iterations(MEASURED_ROUNDS);
BENCHMARK(ReconnectedKrel)
    ->Name("reconnection after peer returns/krel")
    ->UseManualTime()
    ->Iterations(MEASURED_ROUNDS);
BENCHMARK(ReconnectedPeer)
    ->Name("reconnection after peer returns/peer")
    ->UseManualTime()
    ->Iterations(MEASURED_ROUNDS);
BENCHMARK(ConnectDisconnectKrel)->Name("connect and disconnect/krel");
BENCHMARK(ConnectDisconnectPeer)->Name("connect and disconnect/peer");
