// Named events that other processes can set.
//
// The first process to create an event of a name holds the name: it listens on the abstract
// Unix socket "krel-event/<UTF-8 name>", which vanishes with the socket, so no file stays
// behind. Other processes connect to it and get a RemoteEvent. The holder pushes every state
// change of the event to its peers ('0' or '1') and carries out their requests ('S' set, 'R'
// reset, 'P' pulse, each answered 'A' once done; 'r' reset without an answer, after a remote
// wait took an auto-reset event). Peers of another user, root aside, are refused.
#pragma once

#include "platform/WinHandles.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace krel_platform {

class KernelEvent;

// The holder's side of one named event: its listening socket and its connected peers. Owned by
// the event; publish and the client list are used with kernelStateMutex() held.
class EventPublisher {
public:
    explicit EventPublisher(int listener);
    EventPublisher(const EventPublisher&) = delete;
    EventPublisher& operator=(const EventPublisher&) = delete;
    // Withdraws the name: the listener and every peer connection are closed.
    ~EventPublisher();

    void publish(bool signaled);
    void addClient(int descriptor, bool signaled);
    void removeClient(int descriptor);

private:
    int listener;
    std::vector<int> clients;
};

// The one thread of a process that accepts peers of its held names and serves their requests.
// Started with the first held name and never stopped.
class EventNameServer {
public:
    static EventNameServer& instance();

    void serve(int listener, const std::shared_ptr<KernelEvent>& event);
    // Closes the listener and its peers' connections.
    void withdraw(int listener);

private:
    struct Connection {
        std::weak_ptr<KernelEvent> event;
        int listener;
    };

    EventNameServer();
    void run();
    std::vector<int> watchedDescriptors();
    // Called with the server's mutex held, so that no descriptor is closed meanwhile.
    void handleReady(int descriptor);
    void accept(int listener, KernelEvent& event);
    void serveRequests(int client, KernelEvent& event);
    void dropClient(int client, KernelEvent& event);

    std::mutex mutex;
    std::map<int, Connection> connections;
    int wakeDescriptor;
    bool started;
};

// Creates the event of a name: the held event when this process gets the name, a RemoteEvent
// (alreadyExists set) when another process holds it, or a plain local event when no socket can
// be made. Empty (errno set) when no descriptor is left, or when the holder refuses this
// process (EACCES) or does not answer (ETIMEDOUT).
std::shared_ptr<KernelObject> createNamedEvent(const std::wstring& name, bool manualReset,
                                               bool initialState, bool& alreadyExists);

} // namespace krel_platform
