#include "ConnectionDemo.h"

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>

#include "../../tests/support/LoopbackPeer.h"
#include "connection/ConnectionManager.h"
#include "connection/IConnectionStatusListener.h"

using namespace krel_std;

namespace {

typedef std::chrono::steady_clock Clock;

// Prints each status, the loss and the recovery that follow the drop with the milliseconds
// since the demo dropped the peer, and lets the demo wait for the statuses it expects.
class PrintingListener final : public IConnectionStatusListener {
public:
    std::wstring toString() override { return L"PrintingListener"; }

    void statusChanged(bool isUp, const std::wstring& host) override {
        std::lock_guard<std::mutex> guard(mutex);
        const long ms = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
        std::wcout << L"  listener: connection " << (isUp ? L"up at " : L"lost at ") << host;
        if (closing) {
            std::wcout << L" (the demo's own shutdown of the manager)";
        } else if (heard == 1 || heard == 2) {
            std::wcout << L" (" << ms << L" ms after the drop)";
        }
        std::wcout << L"\n" << std::flush;
        ++heard;
        changed.notify_all();
    }

    void markDrop() {
        std::lock_guard<std::mutex> guard(mutex);
        since = Clock::now();
    }

    // From now on a loss is the demo closing the connection itself.
    void markShutdown() {
        std::lock_guard<std::mutex> guard(mutex);
        closing = true;
    }

    bool waitFor(int count) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return heard >= count; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int heard = 0;
    bool closing = false;
    Clock::time_point since = Clock::now();
};

} // namespace

void showConnectionManager() {
    std::wcout << L"A connection manager keeps a client connected to one of two loopback peers,\n"
                  L"with a heart beat every 20 ms and a recovery cycle every 50 ms:\n";
    krel_test::LoopbackPeer first;
    krel_test::LoopbackPeer second;
    boost::shared_ptr<krel_test::LoopbackClient> client(
        new krel_test::LoopbackClient({first.port(), second.port()}));
    boost::shared_ptr<PrintingListener> listener(new PrintingListener());
    ConnectionManager manager(L"demo-client", client);
    manager.setHeartBeatSender(client);
    manager.setHeartBeatInterval(20);
    manager.setRecoveryInterval(50);
    manager.setHeartBeatEnabled(true);
    manager.addListener(listener);

    manager.connect();
    listener->waitFor(1);
    std::wcout << L"  dropping the first peer " << first.host() << L"\n" << std::flush;
    listener->markDrop();
    first.goAway();
    if (!listener->waitFor(3)) {
        std::wcout << L"  the manager did not move to the second peer in time\n";
    }
    std::wcout << L"  now connected to " << manager.getHost() << L"\n" << std::flush;
    listener->markShutdown();
    manager.shutdown();
}
