#include "platform/DirectoryTree.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/NativePath.h"

namespace krel_platform {

namespace {

// Opening a directory entry as a directory: a link, a file or a FIFO is refused at once
// (ELOOP or ENOTDIR), never followed or waited for.
const int OPEN_DIRECTORY = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
// An entry that changes between a directory and something else while it is removed is tried
// again this many times.
const int MAX_ENTRY_ATTEMPTS = 8;

bool failFromErrno() {
    setLastErrorFromErrno();
    return false;
}

// Closes a descriptor when the scope ends.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }

    int get() const { return descriptor; }

private:
    int descriptor;
};

// The entry names of an opened directory, "." and ".." left out. Read in full before any is
// removed, so that removing does not disturb the reading.
bool listNames(int directory, std::vector<std::string>& names) {
    const int copy = fcntl(directory, F_DUPFD_CLOEXEC, 0);
    DIR* stream = copy < 0 ? nullptr : fdopendir(copy);
    if (stream == nullptr) {
        if (copy >= 0) {
            close(copy);
        }
        return false;
    }
    rewinddir(stream);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream);
        if (entry == nullptr) {
            break;
        }
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    const int error = errno;
    closedir(stream);
    errno = error;
    return error == 0;
}

bool removeContents(int directory);

// Removes one entry of the opened directory, and everything below it when it is a directory.
bool removeEntry(int directory, const std::string& name) {
    for (int attempt = 0; attempt < MAX_ENTRY_ATTEMPTS; ++attempt) {
        const Descriptor child(openat(directory, name.c_str(), OPEN_DIRECTORY));
        if (child.get() < 0) {
            if (errno == ENOENT) {
                return true;
            }
            if (errno != ENOTDIR && errno != ELOOP) {
                return false;
            }
            if (unlinkat(directory, name.c_str(), 0) == 0 || errno == ENOENT) {
                return true;
            }
            if (errno != EISDIR && errno != EPERM) {
                return false;
            }
            // It became a directory since it was opened: take it as one.
            continue;
        }
        if (!removeContents(child.get())) {
            return false;
        }
        if (unlinkat(directory, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) {
            return true;
        }
        if (errno != ENOTDIR) {
            return false;
        }
        // It is no longer the directory that was emptied: take what is there now.
    }
    return false;
}

bool removeContents(int directory) {
    std::vector<std::string> names;
    if (!listNames(directory, names)) {
        return false;
    }
    for (const std::string& name : names) {
        if (!removeEntry(directory, name)) {
            return false;
        }
    }
    return true;
}

uint64_t sizeBelow(int directory) {
    std::vector<std::string> names;
    listNames(directory, names);
    uint64_t size = 0;
    for (const std::string& name : names) {
        struct stat status {};
        if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(status.st_mode)) {
            size += static_cast<uint64_t>(status.st_size);
        } else if (S_ISDIR(status.st_mode)) {
            const Descriptor child(openat(directory, name.c_str(), OPEN_DIRECTORY));
            size += child.get() < 0 ? 0 : sizeBelow(child.get());
        }
    }
    return size;
}

} // namespace

bool removeTree(const std::wstring& path) {
    const std::string native = nativePath(path);
    const Descriptor directory(open(native.c_str(), OPEN_DIRECTORY));
    if (directory.get() < 0) {
        if (errno != ENOTDIR && errno != ELOOP) {
            return failFromErrno();
        }
        return unlink(native.c_str()) == 0 || failFromErrno();
    }
    if (!removeContents(directory.get())) {
        return failFromErrno();
    }
    return rmdir(native.c_str()) == 0 || failFromErrno();
}

uint64_t treeSize(const std::wstring& path) {
    const std::string native = nativePath(path);
    struct stat status {};
    if (stat(native.c_str(), &status) != 0) {
        return 0;
    }
    if (S_ISREG(status.st_mode)) {
        return static_cast<uint64_t>(status.st_size);
    }
    if (!S_ISDIR(status.st_mode)) {
        return 0;
    }
    const Descriptor directory(open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return directory.get() < 0 ? 0 : sizeBelow(directory.get());
}

} // namespace krel_platform
