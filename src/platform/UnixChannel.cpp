#include "platform/UnixChannel.h"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krel_platform {

namespace {

bool isPrivateDirectoryOf(int directory, uid_t owner) {
    struct stat status {};
    return fstat(directory, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == owner &&
           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// A directory just made gets exactly mode 0700 whatever the umask, and one that root has made
// for another account becomes that account's.
void handOver(const std::string& path, uid_t owner) {
    (void)!chmod(path.c_str(), S_IRWXU);
    if (geteuid() == 0 && owner != 0) {
        (void)!lchown(path.c_str(), owner, static_cast<gid_t>(-1));
    }
}

} // namespace

int openPrivateDirectory(const std::string& path, uid_t owner, bool create) {
    if (create) {
        if (mkdir(path.c_str(), S_IRWXU) == 0) {
            handOver(path, owner);
        } else if (errno != EEXIST) {
            return -1;
        }
    }
    const int directory = open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory < 0) {
        return -1;
    }
    if (!isPrivateDirectoryOf(directory, owner)) {
        close(directory);
        errno = EPERM;
        return -1;
    }
    return directory;
}

std::string entryPath(int directory, const std::string& name) {
    return "/proc/self/fd/" + std::to_string(directory) + "/" + name;
}

bool socketAddress(const std::string& path, sockaddr_un& address, socklen_t& length) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    path.copy(address.sun_path, path.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

namespace {

// A new socket of the type and the address of the socket file at path; -1 with errno set.
int socketFor(const std::string& path, int type, sockaddr_un& address, socklen_t& length) {
    if (!socketAddress(path, address, length)) {
        return -1;
    }
    return socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
}

// Closes a socket whose set-up failed; -1 with the failure's errno.
int failed(int descriptor) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return -1;
}

} // namespace

int listenAt(const std::string& path, int type, int backlog) {
    sockaddr_un address;
    socklen_t length = 0;
    const int descriptor = socketFor(path, type, address, length);
    if (descriptor < 0) {
        return -1;
    }
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(descriptor, backlog) != 0) {
        return failed(descriptor);
    }
    return descriptor;
}

int connectWithin(const std::string& path, int type, int timeoutMilliseconds) {
    sockaddr_un address;
    socklen_t length = 0;
    const int descriptor = socketFor(path, type, address, length);
    if (descriptor < 0) {
        return -1;
    }
    const timeval timeout{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
    setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    int result = 0;
    do {
        result = connect(descriptor, reinterpret_cast<sockaddr*>(&address), length);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? descriptor : failed(descriptor);
}

bool peerIsOwnerOrRoot(int socket, uid_t owner) {
    uid_t uid = 0;
    return peerUserId(socket, uid) && (uid == owner || uid == 0);
}

int connectToOwner(const std::string& path, int type, uid_t owner, int timeoutMilliseconds) {
    const int descriptor = connectWithin(path, type, timeoutMilliseconds);
    if (descriptor < 0) {
        return -1;
    }
    if (!peerIsOwnerOrRoot(descriptor, owner)) {
        close(descriptor);
        errno = EPERM;
        return -1;
    }
    return descriptor;
}

} // namespace krel_platform
