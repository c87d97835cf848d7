#include "platform/UserRuntimeDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/UnixChannel.h"

namespace krel_platform {

namespace {

const char SUBDIRECTORY[] = "/krelstd";
const char ROOT_DIRECTORY[] = "/run/krelstd";
const char USER_SESSION_PREFIX[] = "/run/user/";
const char CACHE_SUBDIRECTORY[] = "/krelstd/events";
const char FALLBACK_PREFIX[] = "/tmp/krelstd-";

// Whether an existing entry is a directory of the effective user closed to everyone else;
// otherwise false, errno EACCES or ENOTDIR. With create, a missing one is made first.
bool isPrivateDirectory(const std::string& path, bool create = false) {
    const int directory = openPrivateDirectory(path, geteuid(), create);
    if (directory < 0) {
        if (errno == EPERM) {
            errno = EACCES;
        } else if (errno == ELOOP) {
            errno = ENOTDIR;
        }
        return false;
    }
    close(directory);
    return true;
}

bool leavesRoomForSocketNames(const std::string& directory) {
    return directory.size() <= USER_RUNTIME_DIRECTORY_MAX_LENGTH;
}

// "krelstd" in a session directory (absolute, private to the user), made private when missing;
// empty when the session directory is unusable.
std::string channelsInSession(const std::string& session) {
    const std::string directory = session + SUBDIRECTORY;
    if (session.empty() || session[0] != '/' || !leavesRoomForSocketNames(directory) ||
        !isPrivateDirectory(session) || !ensurePrivateDirectory(directory)) {
        return std::string();
    }
    return directory;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string();
}

// The home directory of the effective user from the account database (HOME may be unset).
std::string accountHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return std::string();
    }
    return found->pw_dir;
}

// $XDG_CACHE_HOME, else ".cache" in the home directory; empty when neither is known.
std::string cacheDirectory() {
    const std::string cache = environmentValue("XDG_CACHE_HOME");
    if (!cache.empty() && cache[0] == '/') {
        return cache;
    }
    std::string home = environmentValue("HOME");
    if (home.empty() || home[0] != '/') {
        home = accountHome();
    }
    return home.empty() || home[0] != '/' ? std::string() : home + "/.cache";
}

// Whether a failure to make a socket file (or a hard link to one) says that the file system
// cannot hold them at all, as some network file systems do.
bool refusesSocketFiles(int error) {
    return error == EPERM || error == EACCES || error == EOPNOTSUPP || error == ENOSYS;
}

// Whether the directory's file system holds Unix socket files and hard links to them, as
// publishing a name needs. A failure that says nothing about the file system (no descriptor
// left, say) counts as yes: creating the event then reports it.
bool holdsSocketFiles(const std::string& directory) {
    const std::string probe = directory + "/probe-" + std::to_string(getpid());
    const std::string link = probe + "-link";
    sockaddr_un address;
    socklen_t length = 0;
    const int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0 || !socketAddress(probe, address, length)) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        return true;
    }
    int error = 0;
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::link(probe.c_str(), link.c_str()) != 0) {
        error = errno;
    }
    unlink(link.c_str());
    unlink(probe.c_str());
    close(descriptor);
    return !refusesSocketFiles(error);
}

// "krelstd/events" in the user's cache directory, made private when missing; empty when it
// cannot be made there, its path is too long for socket names, or its file system cannot hold
// socket files. A directory found there has passed that check when it was made.
std::string channelsInCache() {
    const std::string cache = cacheDirectory();
    const std::string directory = cache + CACHE_SUBDIRECTORY;
    if (cache.empty() || !leavesRoomForSocketNames(directory)) {
        return std::string();
    }
    if (isPrivateDirectory(directory)) {
        return directory;
    }
    if (errno != ENOENT) {
        return std::string();
    }
    if (mkdir(cache.c_str(), S_IRWXU) == 0) {
        (void)!chmod(cache.c_str(), S_IRWXU);
    }
    if (!ensurePrivateDirectory(cache + SUBDIRECTORY) || !ensurePrivateDirectory(directory)) {
        return std::string();
    }
    if (!holdsSocketFiles(directory)) {
        rmdir(directory.c_str());
        return std::string();
    }
    return directory;
}

// A directory under /run that only this user (root: nobody else) can have made.
std::string channelsInRun() {
    if (geteuid() == 0) {
        return ensurePrivateDirectory(ROOT_DIRECTORY) ? ROOT_DIRECTORY : std::string();
    }
    return channelsInSession(USER_SESSION_PREFIX + std::to_string(geteuid()));
}

} // namespace

bool ensurePrivateDirectory(const std::string& path) {
    return isPrivateDirectory(path, true);
}

std::string userRuntimeDirectory() {
    std::string directory = channelsInSession(environmentValue("XDG_RUNTIME_DIR"));
    if (directory.empty()) {
        directory = channelsInRun();
    }
    if (directory.empty()) {
        directory = channelsInCache();
    }
    if (directory.empty()) {
        directory = FALLBACK_PREFIX + std::to_string(geteuid());
        if (!ensurePrivateDirectory(directory)) {
            return std::string();
        }
    }
    return directory;
}

} // namespace krel_platform
