#include "platform/ServiceChannel.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include "platform/FileLockWait.h"
#include "platform/Sha256.h"
#include "platform/UnicodeLocale.h"
#include "platform/UnixChannel.h"
#include "platform/Utf16.h"
#include "platform/WinError.h"
#include "platform/WinReg.h"

namespace krel_platform {

namespace {

// A client gives up on a service that does not take its connection within this time.
const int CONNECT_TIMEOUT_MILLISECONDS = 5000;
const int BACKLOG = 64;

const char CHANNEL_LOCK_SUFFIX[] = ".lock";
const char START_LOCK_SUFFIX[] = ".start";

// The account owning the machine hive's directory: the one account (besides root) whose
// services may serve channels.
bool machineHiveOwner(const std::string& hiveDirectory, uid_t& owner) {
    struct stat status {};
    if (stat(hiveDirectory.c_str(), &status) != 0) {
        return false;
    }
    owner = status.st_uid;
    return true;
}

int openChannelDirectory(bool create, uid_t& owner) {
    const std::string hiveDirectory = registryHiveDirectory(HKEY_LOCAL_MACHINE);
    if (!machineHiveOwner(hiveDirectory, owner)) {
        return -1;
    }
    return openPrivateDirectory(hiveDirectory + "/services", owner, create);
}

// Opens (with create, makes) a lock file of the channel directory; no link is followed, and
// one that root makes becomes the machine hive owner's.
int openLockFile(int directory, const std::string& fileName, uid_t owner, bool create) {
    const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0);
    const int descriptor = openat(directory, fileName.c_str(), flags, S_IRUSR | S_IWUSR);
    if (descriptor >= 0 && geteuid() == 0 && owner != 0) {
        (void)!fchown(descriptor, owner, static_cast<gid_t>(-1));
    }
    return descriptor;
}

} // namespace

std::string serviceChannelName(const std::wstring& serviceName) {
    std::wstring folded = serviceName;
    for (wchar_t& character : folded) {
        character =
            static_cast<wchar_t>(towupper_l(static_cast<wint_t>(character), unicodeLocale()));
    }
    return hashName(wideToUtf8(folded));
}

int connectServiceChannel(const std::wstring& serviceName, ServiceChannelState& state) {
    uid_t owner = 0;
    const int directory = openChannelDirectory(false, owner);
    if (directory < 0) {
        state = errno == ENOENT ? ServiceChannelState::absent : ServiceChannelState::unreachable;
        return -1;
    }
    const int connection = connectToOwner(entryPath(directory, serviceChannelName(serviceName)),
                                          SOCK_SEQPACKET, owner, CONNECT_TIMEOUT_MILLISECONDS);
    const int error = errno;
    ::close(directory);
    if (connection >= 0) {
        state = ServiceChannelState::connected;
    } else if (error == ENOENT) {
        state = ServiceChannelState::absent;
    } else if (error == ECONNREFUSED) {
        state = ServiceChannelState::abandoned;
    } else if (error == EPERM) {
        state = ServiceChannelState::foreign;
    } else if (error == EAGAIN || error == EWOULDBLOCK) {
        state = ServiceChannelState::busy;
    } else {
        state = ServiceChannelState::unreachable;
    }
    return connection;
}

int lockServiceStart(const std::wstring& serviceName, int timeoutMilliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    uid_t owner = 0;
    const int directory = openChannelDirectory(true, owner);
    if (directory < 0) {
        return -1;
    }
    const int descriptor =
        openLockFile(directory, serviceChannelName(serviceName) + START_LOCK_SUFFIX, owner, true);
    const int openError = errno;
    ::close(directory);
    if (descriptor < 0) {
        errno = openError;
        return -1;
    }
    if (!lockFileUntil(descriptor, deadline)) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

bool serviceChannelHeld(const std::wstring& serviceName) {
    uid_t owner = 0;
    const int directory = openChannelDirectory(false, owner);
    if (directory < 0) {
        return false;
    }
    const int descriptor = openLockFile(
        directory, serviceChannelName(serviceName) + CHANNEL_LOCK_SUFFIX, owner, false);
    ::close(directory);
    if (descriptor < 0) {
        return false;
    }
    // A shared lock is refused only while an instance holds the channel's exclusive one.
    const bool held = flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return held;
}

ServiceChannelListener::~ServiceChannelListener() {
    close();
}

DWORD ServiceChannelListener::open(const std::wstring& serviceName) {
    close();
    uid_t owner = 0;
    directory = openChannelDirectory(true, owner);
    if (directory < 0) {
        return ERROR_ACCESS_DENIED;
    }
    name = serviceChannelName(serviceName);
    lock = openLockFile(directory, name + CHANNEL_LOCK_SUFFIX, owner, true);
    if (lock < 0) {
        close();
        return ERROR_ACCESS_DENIED;
    }
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        close();
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    // Holding the lock, whatever socket file is left there belongs to an instance that ended.
    unlinkat(directory, name.c_str(), 0);
    listener = listenAt(entryPath(directory, name), SOCK_SEQPACKET | SOCK_NONBLOCK, BACKLOG);
    if (listener < 0) {
        close();
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

void ServiceChannelListener::close() {
    if (listener >= 0) {
        unlinkat(directory, name.c_str(), 0);
        ::close(listener);
        listener = -1;
    }
    if (lock >= 0) {
        ::close(lock);
        lock = -1;
    }
    if (directory >= 0) {
        ::close(directory);
        directory = -1;
    }
}

} // namespace krel_platform
