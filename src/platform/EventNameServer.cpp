#include "EventNameServer.h"

#include "KernelEvent.h"
#include "RemoteEvent.h"
#include "platform/Utf16.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace krel_platform {

namespace {

const char ADDRESS_PREFIX[] = "krel-event/";

void sendByte(int descriptor, char byte) {
    send(descriptor, &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
}

// The abstract address of a name. A name too long for a socket address is replaced by a hash
// of its text, so that every name has an address of its own.
std::string addressOf(const std::wstring& name) {
    std::string text = wideToUtf8(name);
    const size_t room = sizeof(sockaddr_un::sun_path) - 1 - (sizeof(ADDRESS_PREFIX) - 1);
    if (text.size() > room) {
        uint64_t hash = 14695981039346656037ull;
        for (unsigned char byte : text) {
            hash = (hash ^ byte) * 1099511628211ull;
        }
        char digits[20];
        std::snprintf(digits, sizeof(digits), "#%016llx", static_cast<unsigned long long>(hash));
        text = digits;
    }
    return ADDRESS_PREFIX + text;
}

socklen_t fillAddress(const std::string& address, sockaddr_un& socketAddress) {
    std::memset(&socketAddress, 0, sizeof(socketAddress));
    socketAddress.sun_family = AF_UNIX;
    std::memcpy(socketAddress.sun_path + 1, address.data(), address.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + address.size());
}

// A listening socket bound to the address, or -1 (errno EADDRINUSE when another holds it).
int listenAt(const std::string& address) {
    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0) {
        return -1;
    }
    sockaddr_un socketAddress;
    socklen_t length = fillAddress(address, socketAddress);
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&socketAddress), length) != 0 ||
        listen(descriptor, 64) != 0) {
        int error = errno;
        close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

bool isAcceptedPeer(int client) {
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        return false;
    }
    return credentials.uid == getuid() || credentials.uid == 0;
}

} // namespace

EventPublisher::EventPublisher(int listener) : listener(listener) {}

EventPublisher::~EventPublisher() {
    EventNameServer::instance().withdraw(listener);
}

void EventPublisher::publish(bool signaled) {
    for (int client : clients) {
        sendByte(client, signaled ? '1' : '0');
    }
}

void EventPublisher::addClient(int descriptor, bool signaled) {
    clients.push_back(descriptor);
    sendByte(descriptor, signaled ? '1' : '0');
}

void EventPublisher::removeClient(int descriptor) {
    clients.erase(std::remove(clients.begin(), clients.end(), descriptor), clients.end());
}

EventNameServer& EventNameServer::instance() {
    static EventNameServer& server = *new EventNameServer;
    return server;
}

EventNameServer::EventNameServer()
    : wakeDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), started(false) {}

void EventNameServer::serve(int listener, const std::shared_ptr<KernelEvent>& event) {
    std::lock_guard<std::mutex> guard(mutex);
    connections[listener] = Connection{event, listener};
    if (!started) {
        // Without the thread the event still works here; peers that connect find no answer
        // and fail with ERROR_TIMEOUT. The next held name tries again.
        try {
            std::thread([this] { run(); }).detach();
            started = true;
        } catch (const std::system_error&) {
        }
    }
    eventfd_write(wakeDescriptor, 1);
}

void EventNameServer::withdraw(int listener) {
    std::lock_guard<std::mutex> guard(mutex);
    for (auto entry = connections.begin(); entry != connections.end();) {
        if (entry->second.listener == listener) {
            close(entry->first);
            entry = connections.erase(entry);
        } else {
            ++entry;
        }
    }
    eventfd_write(wakeDescriptor, 1);
}

void EventNameServer::run() {
    for (;;) {
        std::vector<int> descriptors = watchedDescriptors();
        std::vector<pollfd> polled;
        polled.push_back(pollfd{wakeDescriptor, POLLIN, 0});
        for (int descriptor : descriptors) {
            polled.push_back(pollfd{descriptor, POLLIN, 0});
        }
        if (poll(polled.data(), polled.size(), -1) <= 0) {
            continue;
        }
        eventfd_t value = 0;
        eventfd_read(wakeDescriptor, &value);
        for (size_t index = 1; index < polled.size(); ++index) {
            if (polled[index].revents != 0) {
                std::lock_guard<std::mutex> guard(mutex);
                handleReady(polled[index].fd);
            }
        }
    }
}

std::vector<int> EventNameServer::watchedDescriptors() {
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<int> descriptors;
    for (const auto& entry : connections) {
        descriptors.push_back(entry.first);
    }
    return descriptors;
}

// The event is released after the server's mutex (its destructor withdraws through it).
void EventNameServer::handleReady(int descriptor) {
    auto entry = connections.find(descriptor);
    if (entry == connections.end()) {
        return;
    }
    std::shared_ptr<KernelEvent> event = entry->second.event.lock();
    if (!event) {
        return;
    }
    if (entry->second.listener == descriptor) {
        accept(descriptor, *event);
    } else {
        serveRequests(descriptor, *event);
    }
    mutex.unlock();
    event.reset();
    mutex.lock();
}

void EventNameServer::accept(int listener, KernelEvent& event) {
    int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) {
        return;
    }
    if (!isAcceptedPeer(client)) {
        close(client);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(kernelStateMutex());
        event.getPublisher()->addClient(client, event.isSignaledFor(0));
    }
    connections[client] = Connection{connections[listener].event, listener};
}

void EventNameServer::serveRequests(int client, KernelEvent& event) {
    char commands[64];
    ssize_t count = recv(client, commands, sizeof(commands), MSG_DONTWAIT);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        dropClient(client, event);
        return;
    }
    for (ssize_t index = 0; index < count; ++index) {
        {
            std::lock_guard<std::mutex> guard(kernelStateMutex());
            switch (commands[index]) {
            case 'S':
                event.set();
                break;
            case 'R':
            case 'r':
                event.reset();
                break;
            case 'P':
                event.pulse();
                break;
            default:
                break;
            }
        }
        if (commands[index] != 'r') {
            sendByte(client, 'A');
        }
    }
}

void EventNameServer::dropClient(int client, KernelEvent& event) {
    {
        std::lock_guard<std::mutex> guard(kernelStateMutex());
        event.getPublisher()->removeClient(client);
    }
    connections.erase(client);
    close(client);
}

std::shared_ptr<KernelObject> createNamedEvent(const std::wstring& name, bool manualReset,
                                               bool initialState, bool& alreadyExists) {
    alreadyExists = false;
    const std::string address = addressOf(name);
    // A holder that leaves between the two steps frees the name: the next round takes it.
    for (int round = 0; round < 8; ++round) {
        int listener = listenAt(address);
        if (listener >= 0) {
            std::shared_ptr<KernelEvent> event = KernelEvent::create(manualReset, initialState);
            if (!event) {
                close(listener);
                return nullptr;
            }
            event->attachPublisher(std::unique_ptr<EventPublisher>(new EventPublisher(listener)));
            EventNameServer::instance().serve(listener, event);
            return event;
        }
        if (errno != EADDRINUSE) {
            break;
        }
        sockaddr_un socketAddress;
        socklen_t length = fillAddress(address, socketAddress);
        std::shared_ptr<RemoteEvent> remote =
            RemoteEvent::connect(socketAddress, length, manualReset);
        if (remote) {
            alreadyExists = true;
            return remote;
        }
        if (errno == EACCES || errno == ETIMEDOUT) {
            return nullptr;
        }
    }
    return KernelEvent::create(manualReset, initialState);
}

} // namespace krel_platform
