#include "platform/RegistryNotifier.h"

#include <algorithm>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

#include "platform/KernelEvent.h"
#include "platform/RegistryHive.h"
#include "platform/WinHandles.h"

namespace krel_platform {

namespace {

// How often the notifier thread looks at the hives when no doorbell rings.
constexpr int safetyPollMs = 2000;

void drain(int descriptor) {
    char buffer[4096];
    while (descriptor >= 0 && read(descriptor, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

RegistryNotifier& RegistryNotifier::instance() {
    static RegistryNotifier& notifier = *new RegistryNotifier;
    return notifier;
}

bool RegistryNotifier::arm(const std::shared_ptr<RegistryHive>& hive, int64_t key, int64_t counter,
                           const std::shared_ptr<KernelEvent>& event, const void* owner) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!start()) {
        return false;
    }
    watchDoorbell(*hive);
    registrations.push_back(Registration{++lastId, hive, key, counter, event, owner});
    added = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeDescriptor, &one, sizeof one);
    return true;
}

// Called with the mutex held. Without inotify the thread still polls.
bool RegistryNotifier::start() {
    if (started) {
        return true;
    }
    wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeDescriptor < 0) {
        return false;
    }
    inotifyDescriptor = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    // The thread takes no asynchronous signals: they belong to the process's own threads.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        std::thread(&RegistryNotifier::run, this).detach();
        started = true;
    } catch (const std::system_error&) {
        started = false;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!started) {
        close(wakeDescriptor);
        if (inotifyDescriptor >= 0) {
            close(inotifyDescriptor);
        }
    }
    return started;
}

// Watching a doorbell again gives the watch it has; a doorbell made anew gets a new one. A
// hive without a doorbell (one nobody may write) is left to the safety poll.
void RegistryNotifier::watchDoorbell(const RegistryHive& hive) {
    if (inotifyDescriptor >= 0) {
        inotify_add_watch(inotifyDescriptor, hive.doorbell().c_str(),
                          IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB);
    }
}

template <typename Chosen> void RegistryNotifier::fire(Chosen chosen) {
    std::vector<std::shared_ptr<KernelEvent>> events;
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (const Registration& registration : registrations) {
            if (chosen(registration)) {
                events.push_back(registration.event);
            }
        }
        registrations.erase(std::remove_if(registrations.begin(), registrations.end(), chosen),
                            registrations.end());
    }
    if (events.empty()) {
        return;
    }
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    for (const auto& event : events) {
        event->set();
    }
}

void RegistryNotifier::keysChanged(const RegistryHive* hive, const std::vector<int64_t>& keys) {
    fire([&](const Registration& registration) {
        return registration.hive.get() == hive &&
               std::find(keys.begin(), keys.end(), registration.key) != keys.end();
    });
}

void RegistryNotifier::ownerClosed(const void* owner) {
    fire([&](const Registration& registration) { return registration.owner == owner; });
}

void RegistryNotifier::clear() {
    std::lock_guard<std::mutex> guard(mutex);
    registrations.clear();
}

void RegistryNotifier::run() {
    for (;;) {
        pollfd descriptors[2] = {{wakeDescriptor, POLLIN, 0}, {inotifyDescriptor, POLLIN, 0}};
        const bool quiet = poll(descriptors, 2, safetyPollMs) == 0;
        drain(wakeDescriptor);
        drain(inotifyDescriptor);
        check(quiet);
    }
}

void RegistryNotifier::check(bool quiet) {
    std::vector<Registration> armed;
    bool everyHive = false;
    {
        std::lock_guard<std::mutex> guard(mutex);
        armed = registrations;
        everyHive = added;
        added = false;
        if (quiet) {
            for (const Registration& registration : armed) {
                watchDoorbell(*registration.hive);
            }
        }
    }
    std::map<std::shared_ptr<RegistryHive>, int64_t> versions;
    std::vector<uint64_t> fired;
    for (const Registration& registration : armed) {
        if (versions.count(registration.hive) != 0) {
            continue;
        }
        const int64_t version = registration.hive->watchedDataVersion();
        versions[registration.hive] = version;
        auto seen = dataVersions.find(registration.hive);
        if (!everyHive && seen != dataVersions.end() && seen->second == version) {
            continue;
        }
        std::vector<const Registration*> ofHive;
        std::vector<int64_t> keys;
        for (const Registration& other : armed) {
            if (other.hive == registration.hive) {
                ofHive.push_back(&other);
                keys.push_back(other.key);
            }
        }
        const std::vector<int64_t> counters = registration.hive->watchedCounters(keys);
        for (size_t i = 0; i < ofHive.size(); ++i) {
            if (counters[i] == -1 || (counters[i] >= 0 && counters[i] != ofHive[i]->counter)) {
                fired.push_back(ofHive[i]->id);
            }
        }
    }
    dataVersions.swap(versions);
    if (!fired.empty()) {
        fire([&](const Registration& registration) {
            return std::find(fired.begin(), fired.end(), registration.id) != fired.end();
        });
    }
}

} // namespace krel_platform
