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
constexpr int SAFETY_POLL_MS = 2000;
// How long the notifier thread lets rings gather after it has looked at one.
constexpr int RING_REST_MS = 1;

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

// After a look that rings called for, the thread rests a moment listening to new registrations
// alone: the rings of a burst of writes then wake it once, not once a write, and are looked at
// together when it listens to them again.
void RegistryNotifier::run() {
    for (;;) {
        pollfd descriptors[2] = {{wakeDescriptor, POLLIN, 0}, {inotifyDescriptor, POLLIN, 0}};
        const bool quiet = poll(descriptors, 2, SAFETY_POLL_MS) == 0;
        const bool rung = (descriptors[1].revents & POLLIN) != 0;
        drain(wakeDescriptor);
        drain(inotifyDescriptor);
        check(quiet);
        if (rung) {
            pollfd registering{wakeDescriptor, POLLIN, 0};
            poll(&registering, 1, RING_REST_MS);
        }
    }
}

bool RegistryNotifier::anyUnannouncedChanges() const {
    uint64_t writeVersion = 0;
    return std::any_of(registrations.begin(), registrations.end(),
                       [&](const Registration& registration) {
                           return registration.hive->hasUnannouncedChanges(writeVersion);
                       });
}

// A hive needs a look when its write version has moved past what this process has accounted
// for, and then only when another connection has committed since the last look. That also
// covers a registration just added: a write after its counter was read moved the version. The
// write version is read before the counters, so a write that commits meanwhile is looked at
// again at its own ring.
void RegistryNotifier::check(bool quiet) {
    std::vector<Registration> armed;
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (quiet) {
            for (const Registration& registration : registrations) {
                watchDoorbell(*registration.hive);
            }
        }
        if (!anyUnannouncedChanges()) {
            return;
        }
        armed = registrations;
    }
    std::map<std::shared_ptr<RegistryHive>, int64_t> versions;
    std::vector<uint64_t> fired;
    std::vector<const RegistryHive*> looked;
    for (const Registration& registration : armed) {
        if (std::find(looked.begin(), looked.end(), registration.hive.get()) != looked.end()) {
            continue;
        }
        looked.push_back(registration.hive.get());
        auto seen = dataVersions.find(registration.hive);
        uint64_t writeVersion = 0;
        if (!registration.hive->hasUnannouncedChanges(writeVersion) && seen != dataVersions.end()) {
            versions[registration.hive] = seen->second;
            continue;
        }
        const int64_t version = registration.hive->watchedDataVersion();
        bool complete = version >= 0;
        if (seen == dataVersions.end() || seen->second != version) {
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
                complete = complete && counters[i] != -2;
                if (counters[i] == -1 || (counters[i] >= 0 && counters[i] != ofHive[i]->counter)) {
                    fired.push_back(ofHive[i]->id);
                }
            }
        }
        // A look that could not read everything is made again at the next ring or poll.
        if (complete) {
            versions[registration.hive] = version;
            registration.hive->accountChanges(writeVersion);
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
