#include "platform/UserRuntimeDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

#include "platform/UnixChannel.h"

namespace krel_platform {

namespace {

const char SUBDIRECTORY[] = "/krelstd";
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

// The user's session directory from the environment, or empty when it is unset or not private.
std::string sessionDirectory() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value == nullptr || value[0] != '/') {
        return std::string();
    }
    const std::string directory(value);
    if (directory.size() + sizeof(SUBDIRECTORY) - 1 > USER_RUNTIME_DIRECTORY_MAX_LENGTH ||
        !isPrivateDirectory(directory)) {
        return std::string();
    }
    return directory + SUBDIRECTORY;
}

} // namespace

bool ensurePrivateDirectory(const std::string& path) {
    return isPrivateDirectory(path, true);
}

std::string userRuntimeDirectory() {
    std::string directory = sessionDirectory();
    if (directory.empty()) {
        directory = FALLBACK_PREFIX + std::to_string(geteuid());
    }
    if (!ensurePrivateDirectory(directory)) {
        return std::string();
    }
    return directory;
}

} // namespace krel_platform
