// The soak's service: the main road of the library under a changing configuration.
#include <atomic>
#include <fstream>
#include <poll.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../tests/support/LoopbackPeer.h"
#include "SoakRoles.h"
#include "SoakSupport.h"
#include "connection/ConnectionManager.h"
#include "connection/IConnectionStatusListener.h"
#include "exception/KrelException.h"
#include "log/StaticLog.h"
#include "platform/Utf16.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/Preferences.h"
#include "service/AbstractService.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"
#include "thread/Thread.h"

using namespace krel_std;

namespace krel_soak {
namespace {

// Journals every connection state the manager reports.
class ConnectionJournal final : public IConnectionStatusListener {
public:
    ConnectionJournal(std::string journal, unsigned instance)
        : journal(std::move(journal)), instance(instance) {}

    std::wstring toString() override { return L"ConnectionJournal"; }

    void statusChanged(bool isUp, const std::wstring& host) override {
        appendJournal(journal, "conn " + std::to_string(instance) + " " +
                                   std::to_string(monotonicMs()) + (isUp ? " up " : " lost ") +
                                   krel_platform::wideToUtf8(host));
    }

private:
    const std::string journal;
    const unsigned instance;
};

// Journals every preference change the node reports.
class PreferenceJournal final : public PreferenceChangeListener {
public:
    PreferenceJournal(std::string journal, unsigned instance)
        : journal(std::move(journal)), instance(instance) {}

    void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) override {
        appendJournal(journal, "pref " + std::to_string(instance) + " " +
                                   krel_platform::wideToUtf8(event->getKey()) + " " +
                                   krel_platform::wideToUtf8(event->getNewValue()));
    }

private:
    const std::string journal;
    const unsigned instance;
};

class SoakService : public AbstractService {
public:
    SoakService(const std::string& dir, int firstPort, int secondPort)
        : journal(dir + "/service.journal"), ports{firstPort, secondPort} {
        std::ifstream(dir + "/instance") >> instance;
    }

    std::wstring getServiceName() override { return krel_platform::utf8ToWide(kServiceName); }

    void run() override {
        appendJournal(journal,
                      "start " + std::to_string(instance) + " " + std::to_string(getpid()));
        StaticLog::initInstance(L"Soak");
        const boost::shared_ptr<Preferences> node = Preferences::userRoot()->node(kPreferencesNode);
        const boost::shared_ptr<PreferenceJournal> heard(new PreferenceJournal(journal, instance));
        node->addPreferenceChangeListener(heard);
        runConnected();
        node->removePreferenceChangeListener(heard);
        appendJournal(journal, "stop " + std::to_string(instance));
    }

protected:
    void onStop() override { shutdownEvent.signal(); }

private:
    // Keeps the connection and the logging threads until the service is told to stop; the
    // manager's shutdown is the last step, so its final "lost" is journalled before "stop".
    void runConnected() {
        boost::shared_ptr<krel_test::LoopbackClient> client(
            new krel_test::LoopbackClient({ports[0], ports[1]}));
        ConnectionManager manager(L"soak", client);
        manager.addListener(
            boost::shared_ptr<ConnectionJournal>(new ConnectionJournal(journal, instance)));
        manager.setHeartBeatSender(client);
        manager.setHeartBeatInterval(100);
        manager.setRecoveryInterval(200);
        manager.setHeartBeatEnabled(true);
        manager.setTryAllServices(true);
        try {
            manager.connect();
        } catch (const KrelException&) {
            // Both servers are down: recovery goes on in the background.
        }
        std::vector<std::thread> loggers;
        for (int thread = 0; thread < kLogThreads; ++thread) {
            loggers.emplace_back([this, thread] { logLines(thread); });
        }
        while (Concurrency::waitForSingleObject(shutdownEvent, 1000) != 0) {
        }
        stopping = true;
        for (std::thread& logger : loggers) {
            logger.join();
        }
        manager.shutdown();
    }

    // Logs numbered lines at WARN, which every threshold the driver writes passes, in bursts,
    // with unnumbered DEBUG lines between them while the threshold lets them through; journals
    // the last number when the service stops.
    void logLines(int thread) {
        unsigned long number = 0;
        while (!stopping) {
            for (int burst = 0; burst < 10; ++burst) {
                StaticLog::log(WARN, L"soak::logLines",
                               krel_platform::utf8ToWide(soakMessage(instance, thread, ++number)),
                               L"Soak", L"", Thread::getCurrentThreadId(), L"ServiceRole.cpp",
                               __LINE__);
            }
            if (StaticLog::isThresholdOn(DEBUG)) {
                StaticLog::log(DEBUG, L"soak::logLines", L"between bursts", L"Soak", L"",
                               Thread::getCurrentThreadId(), L"ServiceRole.cpp", __LINE__);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        appendJournal(journal, "logged " + std::to_string(instance) + " " + std::to_string(thread) +
                                   " " + std::to_string(number));
    }

    const std::string journal;
    const int ports[2];
    unsigned instance = 0;
    Event shutdownEvent{true, false};
    std::atomic<bool> stopping{false};
};

// Ends the process at once when the driver ends, however it ends: the service was started by
// krel-admin in a session of its own and is nobody's child but the driver's as its reaper.
void endWithDriver(pid_t driver) {
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, driver, 0));
    if (handle < 0) {
        _exit(3);
    }
    std::thread([handle] {
        pollfd watched{handle, POLLIN, 0};
        while (poll(&watched, 1, -1) < 0) {
        }
        _exit(3);
    }).detach();
}

} // namespace

int runService(const std::string& dir, pid_t driver, int firstPort, int secondPort) {
    endWithDriver(driver);
    SoakService service(dir, firstPort, secondPort);
    return service.start() ? 0 : 1;
}

} // namespace krel_soak
