// Named events that other processes of the same user can set.
//
// The first process to create an event of a name holds the name: it listens on a Unix socket
// file in the user's private runtime directory (see UserRuntimeDirectory.h), named
// "event-<32 hex digits>" after the SHA-256 of the name's UTF-8 text (see Sha256.h), so every name
// has a channel of its own whatever its length. No other account can create, replace or reach a
// file there, and both ends check the peer's user (SO_PEERCRED): the holder closes a connection of
// another user at once, and a process takes the state and answers of a channel only from a
// holder of its own user. A channel whose holder has gone (its socket file left behind) is
// replaced under a lock file of the directory, so that only one process takes its place.
// Other processes connect to it and get a RemoteEvent. The holder pushes every state change of
// the event to its peers ('0' or '1') and carries out their requests ('S' set, 'R' reset, 'P'
// pulse, each answered 'A' once done; 'r' reset without an answer, after a remote wait took an
// auto-reset event). The holder never waits for a peer: a peer that sends nothing or reads
// nothing costs it nothing.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/WinHandles.h"

namespace krel_platform {

class KernelEvent;

// The holder's side of one named event: its listening socket and its connected peers. Owned by
// the event; publish and the client list are used with kernelStateMutex() held.
class EventPublisher {
public:
    // The listener is bound at path, the socket file of that inode. The file is removed with
    // the publisher, or when the process exits normally with the event still held.
    EventPublisher(int listener, const std::string& path, dev_t device, ino_t inode);
    EventPublisher(const EventPublisher&) = delete;
    EventPublisher& operator=(const EventPublisher&) = delete;
    // Withdraws the name: the socket file is removed while it is still this holder's, then the
    // listener and every peer connection are closed.
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

// The file name of a name's channel in the runtime directory: "event-" and 32 hex digits.
std::string eventChannelName(const std::wstring& name);

// The path of a name's channel in the user's runtime directory; empty (errno set) when the
// directory is not safe to use.
std::string eventChannelPath(const std::wstring& name);

// Creates the event of a name: the held event when this process gets the name, or a RemoteEvent
// (alreadyExists set) when another process of this user holds it; never an event that other
// processes cannot reach under the name. A round that finds the name taken, left or replaced
// meanwhile is followed by another, for a few seconds at most. Empty (errno set) when the
// name's channel cannot be made (ENOSPC or EDQUOT, EMFILE or ENFILE, ENOMEM, otherwise EACCES),
// when the user's runtime directory is not safe (EACCES: for example another user made it
// first), when the holder refuses this process (EACCES) or does not answer (ETIMEDOUT), or when
// the name is still contended when the time is up (ETIMEDOUT).
std::shared_ptr<KernelObject> createNamedEvent(const std::wstring& name, bool manualReset,
                                               bool initialState, bool& alreadyExists);

} // namespace krel_platform
