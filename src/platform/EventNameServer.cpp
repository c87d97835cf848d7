#include "platform/EventNameServer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "platform/FileLockWait.h"
#include "platform/KernelEvent.h"
#include "platform/PeerCredentials.h"
#include "platform/RemoteEvent.h"
#include "platform/Sha256.h"
#include "platform/UnixChannel.h"
#include "platform/UserRuntimeDirectory.h"
#include "platform/Utf16.h"

namespace krel_platform {

namespace {

const char CHANNEL_PREFIX[] = "event-";
const char TEMPORARY_PREFIX[] = "new-";
const char LOCK_FILE[] = "/events.lock";
// How long a creation keeps trying while other processes take, leave or replace names.
const int PUBLICATION_PATIENCE_MS = 5000;

typedef std::chrono::steady_clock Clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return remaining > 0 ? static_cast<int>(std::min<long long>(remaining, 1 << 30)) : 0;
}

void sendByte(int descriptor, char byte) {
    send(descriptor, &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
}

// A socket listening at a fresh name of this process in the directory, ready to be published
// under a channel's name by link or rename, so that a channel's file is always listening. The
// temporary name is removed when the object goes; the listener is closed unless released.
class FreshListener {
public:
    explicit FreshListener(const std::string& directory) : descriptor(-1) {
        static std::atomic<unsigned> counter(0);
        char name[40];
        std::snprintf(name, sizeof(name), "/%s%x-%x", TEMPORARY_PREFIX,
                      static_cast<unsigned>(getpid()), counter.fetch_add(1));
        temporary = directory + name;
        unlink(temporary.c_str());
        descriptor = listenAt(temporary, SOCK_STREAM | SOCK_NONBLOCK, 64);
        if (descriptor < 0) {
            const int error = errno;
            unlink(temporary.c_str());
            errno = error;
        }
    }
    FreshListener(const FreshListener&) = delete;
    FreshListener& operator=(const FreshListener&) = delete;
    ~FreshListener() {
        if (descriptor >= 0) {
            unlink(temporary.c_str());
            close(descriptor);
        }
    }

    bool isListening() const { return descriptor >= 0; }
    // Publishes the socket under path unless a file of that name exists (errno EEXIST).
    bool publishAt(const std::string& path) const {
        return link(temporary.c_str(), path.c_str()) == 0;
    }
    // Publishes the socket under path in place of what is there.
    bool publishOver(const std::string& path) const {
        return link(temporary.c_str(), path.c_str()) == 0 ||
               (errno == EEXIST && rename(temporary.c_str(), path.c_str()) == 0);
    }
    // Hands the published listener to its holder; empty (errno set) when it cannot be told apart.
    std::unique_ptr<EventPublisher> release(const std::string& path) {
        struct stat status = {};
        if (lstat(path.c_str(), &status) != 0) {
            return nullptr;
        }
        unlink(temporary.c_str());
        std::unique_ptr<EventPublisher> publisher(
            new EventPublisher(descriptor, path, status.st_dev, status.st_ino));
        descriptor = -1;
        return publisher;
    }
    int listener() const { return descriptor; }

private:
    int descriptor;
    std::string temporary;
};

// The directory's lock file, held while a channel of a gone holder is replaced, so that two
// processes cannot both replace it and hold one name twice.
class ReplacementLock {
public:
    // Waits for the lock until the deadline; with a deadline already passed, tries once.
    ReplacementLock(const std::string& directory, Clock::time_point deadline)
        : descriptor(open((directory + LOCK_FILE).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR)),
          held(descriptor >= 0 && lockFileUntil(descriptor, deadline)) {}
    ReplacementLock(const ReplacementLock&) = delete;
    ReplacementLock& operator=(const ReplacementLock&) = delete;
    // Closing the file lets go of the lock.
    ~ReplacementLock() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }

    bool isHeld() const { return held; }

private:
    const int descriptor;
    const bool held;
};

// A channel file this process holds: the file of that inode at path.
struct ChannelFile {
    std::string path;
    dev_t device;
    ino_t inode;

    // Removes the file while it is still the one of this holder. A holder's file is never
    // replaced while its listener is open, so the check and the removal cannot be separated by
    // another process's replacement.
    void removeIfHeld() const {
        struct stat status = {};
        if (lstat(path.c_str(), &status) == 0 && status.st_dev == device &&
            status.st_ino == inode) {
            unlink(path.c_str());
        }
    }
};

// The channel files this process holds, by listener. Handles still open when the process exits
// are never closed, so their files are removed at a normal exit here; those of a process that
// is killed stay until a later holder finds them unanswered.
class HeldChannelFiles {
public:
    static HeldChannelFiles& instance() {
        static HeldChannelFiles& files = *new HeldChannelFiles;
        return files;
    }

    void add(int listener, const ChannelFile& file) {
        std::lock_guard<std::mutex> guard(mutex);
        files[listener] = file;
        if (!exitHookInstalled) {
            exitHookInstalled = std::atexit(removeAllAtExit) == 0;
        }
    }

    void remove(int listener) {
        std::lock_guard<std::mutex> guard(mutex);
        auto entry = files.find(listener);
        if (entry != files.end()) {
            entry->second.removeIfHeld();
            files.erase(entry);
        }
    }

private:
    HeldChannelFiles() : owner(getpid()), exitHookInstalled(false) {}

    // Skipped when another thread holds the table at exit, rather than waiting on it, and in a
    // forked child that exits: the files are its parent's.
    static void removeAllAtExit() {
        HeldChannelFiles& held = instance();
        std::unique_lock<std::mutex> guard(held.mutex, std::try_to_lock);
        if (!guard.owns_lock() || held.owner != getpid()) {
            return;
        }
        for (const auto& entry : held.files) {
            entry.second.removeIfHeld();
        }
    }

    std::mutex mutex;
    std::map<int, ChannelFile> files;
    const pid_t owner;
    bool exitHookInstalled;
};

// Whether nothing listens at a socket file any more: its holder has gone without removing it.
// Never waits: a holder whose backlog is full counts as present.
bool isAbandonedSocket(const std::string& path) {
    sockaddr_un address;
    socklen_t length = 0;
    if (!socketAddress(path, address, length)) {
        return false;
    }
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) {
        return false;
    }
    bool abandoned = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), length) != 0 &&
                     errno == ECONNREFUSED;
    close(probe);
    return abandoned;
}

bool isChannelEntry(const char* name) {
    return std::strncmp(name, CHANNEL_PREFIX, sizeof(CHANNEL_PREFIX) - 1) == 0 ||
           std::strncmp(name, TEMPORARY_PREFIX, sizeof(TEMPORARY_PREFIX) - 1) == 0;
}

// Whether a directory entry may be an abandoned socket. A channel file listens from the moment
// it is published; a temporary one refuses connections between its bind and its listen, so it
// counts only once the process named in it has gone.
bool mayBeAbandoned(const char* name) {
    if (std::strncmp(name, TEMPORARY_PREFIX, sizeof(TEMPORARY_PREFIX) - 1) != 0) {
        return true;
    }
    char* end = nullptr;
    const unsigned long maker = std::strtoul(name + sizeof(TEMPORARY_PREFIX) - 1, &end, 16);
    return *end == '-' && kill(static_cast<pid_t>(maker), 0) != 0 && errno == ESRCH;
}

// Removes the channel files and temporaries of killed holders from the directory, once per
// process, so that they do not gather there; skipped while another process holds the lock.
void sweepAbandonedChannels(const std::string& directory) {
    static std::atomic<bool> swept(false);
    if (swept.exchange(true)) {
        return;
    }
    ReplacementLock lock(directory, Clock::now());
    DIR* listing = lock.isHeld() ? opendir(directory.c_str()) : nullptr;
    if (listing == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_type == DT_SOCK && isChannelEntry(entry->d_name) &&
            mayBeAbandoned(entry->d_name)) {
            const std::string path = directory + "/" + entry->d_name;
            if (isAbandonedSocket(path)) {
                unlink(path.c_str());
            }
        }
    }
    closedir(listing);
}

// Whether a connection to path was refused (no holder listens) or answered by another user.
bool isUnanswered(int error) {
    return error == ECONNREFUSED || error == EPERM;
}

// Puts the fresh listener in place of a channel whose holder has gone or is another user's.
// False (errno set) when a holder of this user answers there meanwhile (EADDRINUSE), another
// process published the name meanwhile (EEXIST), or the lock cannot be had by the deadline.
bool replaceUnanswered(const FreshListener& fresh, const std::string& directory,
                       const std::string& path, Clock::time_point deadline) {
    ReplacementLock lock(directory, deadline);
    if (!lock.isHeld()) {
        return false;
    }
    int probe = RemoteEvent::openChannel(path);
    if (probe >= 0) {
        close(probe);
        errno = EADDRINUSE;
        return false;
    }
    if (errno == ENOENT) {
        return fresh.publishAt(path);
    }
    return isUnanswered(errno) && fresh.publishOver(path);
}

std::shared_ptr<KernelObject> holdName(FreshListener& fresh, const std::string& path,
                                       bool manualReset, bool initialState) {
    std::shared_ptr<KernelEvent> event = KernelEvent::create(manualReset, initialState);
    if (!event) {
        return nullptr;
    }
    const int listener = fresh.listener();
    std::unique_ptr<EventPublisher> publisher = fresh.release(path);
    if (!publisher) {
        return nullptr;
    }
    event->attachPublisher(std::move(publisher));
    EventNameServer::instance().serve(listener, event);
    return event;
}

// Whether a round failed because other processes took, left or replaced the name meanwhile:
// the next round takes the name or reaches its new holder.
bool isNameInMotion(int error) {
    return error == ENOENT || error == EEXIST || error == EADDRINUSE || error == ECONNRESET ||
           error == EPIPE || error == ECONNABORTED;
}

// The cause reported for a channel file that cannot be made: a lack of space, memory or
// descriptors as it is, anything else as a denial.
int publicationError(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS:
    case ETIMEDOUT:
        return error;
    default:
        return EACCES;
    }
}

// One round of a creation: takes the name when it is free or its holder has gone, or reaches
// its holder. Empty (errno set) otherwise; an errno of isNameInMotion asks for another round.
std::shared_ptr<KernelObject> takeOrReach(const std::string& directory, const std::string& path,
                                          bool manualReset, bool initialState,
                                          Clock::time_point deadline, bool& alreadyExists) {
    FreshListener fresh(directory);
    if (!fresh.isListening()) {
        errno = publicationError(errno);
        return nullptr;
    }
    if (fresh.publishAt(path)) {
        return holdName(fresh, path, manualReset, initialState);
    }
    if (errno != EEXIST) {
        // ENOENT: the fresh socket was taken away (its maker looked gone); the next round
        // makes another.
        if (errno != ENOENT) {
            errno = publicationError(errno);
        }
        return nullptr;
    }
    std::shared_ptr<RemoteEvent> remote = RemoteEvent::connect(path, manualReset);
    if (remote) {
        alreadyExists = true;
        return remote;
    }
    if (!isUnanswered(errno)) {
        return nullptr;
    }
    if (replaceUnanswered(fresh, directory, path, deadline)) {
        return holdName(fresh, path, manualReset, initialState);
    }
    if (!isNameInMotion(errno)) {
        errno = publicationError(errno);
    }
    return nullptr;
}

} // namespace

EventPublisher::EventPublisher(int listener, const std::string& path, dev_t device, ino_t inode)
    : listener(listener) {
    HeldChannelFiles::instance().add(listener, ChannelFile{path, device, inode});
}

// The file goes first, while the listener is still open, so that it is still this holder's.
EventPublisher::~EventPublisher() {
    HeldChannelFiles::instance().remove(listener);
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
    if (!isPeerOfOwnUser(client)) {
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

std::string eventChannelName(const std::wstring& name) {
    return CHANNEL_PREFIX + hashName(wideToUtf8(name));
}

std::string eventChannelPath(const std::wstring& name) {
    const std::string directory = userRuntimeDirectory();
    return directory.empty() ? directory : directory + "/" + eventChannelName(name);
}

std::shared_ptr<KernelObject> createNamedEvent(const std::wstring& name, bool manualReset,
                                               bool initialState, bool& alreadyExists) {
    alreadyExists = false;
    const std::string directory = userRuntimeDirectory();
    if (directory.empty()) {
        errno = EACCES;
        return nullptr;
    }
    sweepAbandonedChannels(directory);
    const std::string path = directory + "/" + eventChannelName(name);
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(PUBLICATION_PATIENCE_MS);
    int error = 0;
    do {
        std::shared_ptr<KernelObject> event =
            takeOrReach(directory, path, manualReset, initialState, deadline, alreadyExists);
        if (event || !isNameInMotion(errno)) {
            return event;
        }
        error = errno;
    } while (millisecondsUntil(deadline) > 0);
    // A holder that keeps closing the connection before it tells the state refuses this process.
    errno = error == ECONNRESET ? EACCES : ETIMEDOUT;
    return nullptr;
}

} // namespace krel_platform
