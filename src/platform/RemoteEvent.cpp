#include "platform/RemoteEvent.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/PeerCredentials.h"
#include "platform/UnixChannel.h"
#include "platform/WinError.h"

namespace krel_platform {

namespace {

// How long a request or a connection waits for the holder to answer.
const int ANSWER_TIMEOUT_MS = 5000;

bool awaitReadable(int descriptor, int timeout) {
    pollfd polled{descriptor, POLLIN, 0};
    int ready = 0;
    do {
        ready = poll(&polled, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    return ready == 1;
}

} // namespace

int RemoteEvent::openChannel(const std::string& path) {
    // The time-out bounds the connect (a holder whose backlog is full) and every later request's
    // send.
    const int descriptor = connectWithin(path, SOCK_STREAM, ANSWER_TIMEOUT_MS);
    if (descriptor < 0) {
        errno = errno == EAGAIN ? ETIMEDOUT : errno;
        return -1;
    }
    if (!isPeerOfOwnUser(descriptor)) {
        close(descriptor);
        errno = EPERM;
        return -1;
    }
    return descriptor;
}

std::shared_ptr<RemoteEvent> RemoteEvent::connect(const std::string& path, bool manualReset) {
    std::shared_ptr<KernelEvent> mirror = KernelEvent::create(manualReset, false);
    if (!mirror) {
        return nullptr;
    }
    int descriptor = openChannel(path);
    if (descriptor < 0) {
        return nullptr;
    }
    // The holder's first byte is the event's state; a connection closed before it (errno
    // ECONNRESET, whether reset or closed in order) was refused or met a holder that has gone.
    char state = 0;
    ssize_t received = -1;
    if (!awaitReadable(descriptor, ANSWER_TIMEOUT_MS)) {
        errno = ETIMEDOUT;
    } else if ((received = recv(descriptor, &state, 1, MSG_DONTWAIT)) == 0) {
        errno = ECONNRESET;
    }
    if (received != 1) {
        int error = errno;
        close(descriptor);
        errno = error;
        return nullptr;
    }
    std::shared_ptr<RemoteEvent> event(new RemoteEvent(descriptor, manualReset, mirror));
    std::lock_guard<std::mutex> guard(kernelStateMutex());
    if (state == '1') {
        mirror->set();
    }
    return event;
}

RemoteEvent::RemoteEvent(int descriptor, bool manualReset, std::shared_ptr<KernelEvent> mirror)
    : descriptor(descriptor), manualReset(manualReset), mirror(std::move(mirror)), connected(true),
      answers(0) {}

RemoteEvent::~RemoteEvent() {
    close(descriptor);
}

int RemoteEvent::waitDescriptor() const {
    return connected ? descriptor : mirror->waitDescriptor();
}

bool RemoteEvent::isSignaledFor(DWORD threadId) const {
    drain();
    return mirror->isSignaledFor(threadId);
}

void RemoteEvent::acquire(DWORD threadId) {
    mirror->acquire(threadId);
    if (!manualReset && connected) {
        char command = 'r';
        send(descriptor, &command, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
}

void RemoteEvent::addWaiter(WaitContext& context) {
    mirror->addWaiter(context);
}

void RemoteEvent::removeWaiter(WaitContext& context) {
    mirror->removeWaiter(context);
}

DWORD RemoteEvent::request(char command) {
    {
        std::lock_guard<std::mutex> guard(kernelStateMutex());
        if (connected && send(descriptor, &command, 1, MSG_NOSIGNAL) != 1) {
            if (errno == EAGAIN) {
                return ERROR_TIMEOUT;
            }
            connected = false;
        }
        if (!connected) {
            applyLocally(command);
            return ERROR_SUCCESS;
        }
    }
    typedef std::chrono::steady_clock Clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ANSWER_TIMEOUT_MS);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(kernelStateMutex());
            drain();
            if (answers > 0) {
                --answers;
                return ERROR_SUCCESS;
            }
            if (!connected) {
                applyLocally(command);
                return ERROR_SUCCESS;
            }
        }
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0) {
            return ERROR_TIMEOUT;
        }
        awaitReadable(descriptor, static_cast<int>(remaining));
    }
}

void RemoteEvent::drain() const {
    while (connected) {
        char bytes[64];
        ssize_t count = recv(descriptor, bytes, sizeof(bytes), MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno == EAGAIN) {
            return;
        }
        if (count <= 0) {
            // The holder has gone: the event keeps its last state here.
            connected = false;
            return;
        }
        for (ssize_t index = 0; index < count; ++index) {
            if (bytes[index] == '1') {
                mirror->set();
            } else if (bytes[index] == '0') {
                mirror->reset();
            } else if (bytes[index] == 'A') {
                ++answers;
            }
        }
    }
}

void RemoteEvent::applyLocally(char command) {
    if (command == 'S') {
        mirror->set();
    } else if (command == 'R') {
        mirror->reset();
    } else if (command == 'P') {
        mirror->pulse();
    }
}

} // namespace krel_platform
