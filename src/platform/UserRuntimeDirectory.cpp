#include "UserRuntimeDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace krel_platform {

namespace {

const char SUBDIRECTORY[] = "/krelstd";
const char FALLBACK_PREFIX[] = "/tmp/krelstd-";

// Whether an existing entry is a directory of the effective user closed to everyone else.
bool isPrivateDirectory(const std::string& path) {
    struct stat status = {};
    if (lstat(path.c_str(), &status) != 0) {
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if (status.st_uid != geteuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        errno = EACCES;
        return false;
    }
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
    if (mkdir(path.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
        return false;
    }
    return isPrivateDirectory(path);
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
