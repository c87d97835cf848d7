// The one-shot change notifications of registry keys, for this process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace krel_platform {

class KernelEvent;
class RegistryHive;

// Keeps the armed registrations and signals each one's event once, when its key's change
// counter has moved or the key is gone. Writes of this process signal at once, after their
// commit; writes of other processes are found by a notifier thread, started on the first
// arming and never stopped, which waits on the hives' doorbells with inotify (and polls every
// few seconds in case a ring was lost), and on a ring compares the counters of the armed keys
// through a connection of its own. A ring of a hive that only this process has written since
// the thread's last look needs no look: those writes have signalled already.
class RegistryNotifier {
public:
    static RegistryNotifier& instance();

    // Arms a registration for the key, whose counter was read as counter, made through the
    // handle object owner (null for a predefined root); false when the notifier thread could
    // not be started.
    bool arm(const std::shared_ptr<RegistryHive>& hive, int64_t key, int64_t counter,
             const std::shared_ptr<KernelEvent>& event, const void* owner);
    // The keys' values changed, or the keys were deleted, in a transaction of this process
    // that has committed.
    void keysChanged(const RegistryHive* hive, const std::vector<int64_t>& keys);
    // The handle object is gone: its registrations are signalled and dropped, as closing a
    // key's handle ends its notifications on Windows.
    void ownerClosed(const void* owner);
    // Drops every registration without signalling it.
    void clear();

private:
    struct Registration {
        uint64_t id;
        std::shared_ptr<RegistryHive> hive;
        int64_t key;
        int64_t counter;
        std::shared_ptr<KernelEvent> event;
        const void* owner;
    };

    RegistryNotifier() = default;
    bool start();
    void watchDoorbell(const RegistryHive& hive);
    [[noreturn]] void run();
    // Compares the counters of the armed keys of every hive that another process has changed
    // since the last look. After a quiet wait it also watches the doorbells again, in case one
    // was made since.
    void check(bool quiet);
    // Whether a hive of the registrations may hold changes not yet looked at; with the mutex
    // held.
    bool anyUnannouncedChanges() const;
    // Signals and removes the registrations that are still armed and chosen.
    template <typename Chosen> void fire(Chosen chosen);

    std::mutex mutex;
    std::vector<Registration> registrations;
    uint64_t lastId = 0;
    bool started = false;
    int inotifyDescriptor = -1;
    int wakeDescriptor = -1;
    // Seen by the notifier thread alone: the data version of each watched hive at its last look.
    std::map<std::shared_ptr<RegistryHive>, int64_t> dataVersions;
};

} // namespace krel_platform
