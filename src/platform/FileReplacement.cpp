#include "platform/FileReplacement.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/NativePath.h"
#include "platform/WinBase.h"

namespace krel_platform {

namespace {

// Links followed before a chain counts as a loop (the kernel's own limit).
const int MAX_LINKS = 40;
// Each retry of the lock means that another holder completed a replacement meanwhile; the
// bound only ends a pathological run.
const int MAX_LOCK_ATTEMPTS = 100;
const int MAX_TEMPORARY_ATTEMPTS = 16;
const size_t RANDOM_DIGITS = 16;
const char TEMPORARY_SUFFIX[] = ".tmp";
const size_t TEMPORARY_SUFFIX_LENGTH = sizeof(TEMPORARY_SUFFIX) - 1;
// The part of the target's name kept in the temporary name, so that ".", the name, ".", 16
// random digits and ".tmp" stay within the 255 bytes of a directory entry.
const size_t MAX_NAME_PART = 255 - 2 - RANDOM_DIGITS - TEMPORARY_SUFFIX_LENGTH;
static_assert(TEMPORARY_NAME_EXTRA_BYTES == 2 + RANDOM_DIGITS + TEMPORARY_SUFFIX_LENGTH,
              "the published length of a temporary's name matches the names made");
const char LOCK_SUFFIX[] = ".lock";
// The part of the target's name kept in the name of its update lock's side file.
const size_t MAX_LOCK_NAME_PART = 255 - 1 - (sizeof(LOCK_SUFFIX) - 1);
const size_t MAX_LINK_LENGTH = 1u << 16;

bool failFromErrno() {
    setLastErrorFromErrno();
    return false;
}

bool failWith(DWORD error) {
    SetLastError(error);
    return false;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readLink(const std::string& path, std::string& text) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            text.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        if (buffer.size() >= MAX_LINK_LENGTH) {
            errno = ENAMETOOLONG;
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The path of the entry ".<prefix of name><suffix>" in the directory.
std::string hiddenSibling(const std::string& directory, const std::string& name, size_t namePart,
                          const char* suffix) {
    return (directory == "/" ? "/." : directory + "/.") + name.substr(0, namePart) + suffix;
}

// What every temporary of the target's name begins with: ".", the name (or its first part) and
// ".".
std::string temporaryPrefix(const std::string& targetName) {
    return "." + targetName.substr(0, MAX_NAME_PART) + ".";
}

bool isLowerHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Whether the directory entry has the name of a temporary for the target name whose prefix is
// given: the prefix, 16 lower-case hexadecimal digits and ".tmp", nothing more.
bool isTemporaryName(std::string_view name, const std::string& prefix) {
    if (name.size() != prefix.size() + RANDOM_DIGITS + TEMPORARY_SUFFIX_LENGTH ||
        name.substr(0, prefix.size()) != prefix ||
        name.substr(prefix.size() + RANDOM_DIGITS) != TEMPORARY_SUFFIX) {
        return false;
    }
    for (size_t i = prefix.size(); i < prefix.size() + RANDOM_DIGITS; ++i) {
        if (!isLowerHexDigit(name[i])) {
            return false;
        }
    }
    return true;
}

// 16 hexadecimal digits that no other process picks at the same time.
std::string randomDigits() {
    uint64_t value = 0;
    if (getrandom(&value, sizeof(value), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(value))) {
        static std::atomic<uint64_t> counter(0);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        value = (static_cast<uint64_t>(getpid()) << 40) ^ (counter++ << 20) ^
                static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec);
    }
    char digits[RANDOM_DIGITS + 1];
    snprintf(digits, sizeof(digits), "%016" PRIx64, value);
    return digits;
}

// Takes the exclusive whole-file lock without waiting; ERROR_SHARING_VIOLATION when another
// holder keeps it.
bool lockExclusive(int descriptor) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(descriptor, F_OFD_SETLK, &lock) == 0) {
        return true;
    }
    if (errno == EAGAIN || errno == EACCES) {
        return failWith(ERROR_SHARING_VIOLATION);
    }
    return failFromErrno();
}

// A new file gets the owner and the permission bits of the file it replaces. Changing the
// owner needs privileges and is only tried; the bits are set after it, since a change of
// owner clears the set-id bits.
bool takeOwnerAndMode(int descriptor, const struct stat& original) {
    const bool otherOwner = original.st_uid != geteuid() || original.st_gid != getegid();
    if (otherOwner && fchown(descriptor, original.st_uid, original.st_gid) != 0 && errno != EPERM) {
        return false;
    }
    return fchmod(descriptor, original.st_mode & 07777) == 0;
}

// Makes a rename in the directory durable. A file system that cannot sync a directory has
// nothing to sync: the rename is done either way.
void syncDirectory(const std::string& directory) {
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

// The process's file mode creation mask, read without setting it (umask() changes it, for a
// moment, for every thread). 022 when the system does not tell it.
mode_t processUmask() {
    mode_t mask = 022;
    FILE* status = fopen("/proc/self/status", "re");
    if (status == nullptr) {
        return mask;
    }
    char line[256];
    while (fgets(line, sizeof(line), status) != nullptr) {
        unsigned int value = 0;
        if (sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value & 0777);
            break;
        }
    }
    fclose(status);
    return mask;
}

bool renameOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0 || failFromErrno();
}

// Whether the link at path, whose relative text is given, is one that only the kernel can
// follow: its text names nothing, yet a file is reached through it.
bool isKernelLink(const std::string& path, const std::string& text) {
    struct stat named {};
    struct stat reached {};
    return lstat((directoryOf(path) + "/" + text).c_str(), &named) != 0 && errno == ENOENT &&
           stat(path.c_str(), &reached) == 0;
}

// Whether a writer may follow the link at path, whose own status is given: its owner is the
// caller or the owner of the directory that holds it. A link of any other owner may have been
// put there by another account that may write the directory, to turn the writer's bytes into a
// file of that account's choosing; the kernel keeps the same rule in sticky world-writable
// directories, but cannot apply it to links resolved here.
bool mayFollowLink(const std::string& path, const struct stat& link) {
    if (link.st_uid == geteuid()) {
        return true;
    }
    struct stat directory {};
    return stat(directoryOf(path).c_str(), &directory) == 0 && directory.st_uid == link.st_uid;
}

// The chain of links at path followed as resolveLinks tells. kernelLink tells that the chain
// ends in a link whose text names no path although the kernel reaches a file through it (a
// descriptor's link below /proc, such as /dev/stdout on a pipe): resolved is then that link,
// for the open to follow.
bool resolveChain(const std::string& nativePath, std::string& resolved, bool& kernelLink) {
    kernelLink = false;
    std::string current = nativePath;
    for (int hop = 0; hop <= MAX_LINKS; ++hop) {
        struct stat status {};
        if (lstat(current.c_str(), &status) != 0) {
            if (errno != ENOENT) {
                return false;
            }
            resolved = current;
            return true;
        }
        if (!S_ISLNK(status.st_mode)) {
            resolved = current;
            return true;
        }
        if (!mayFollowLink(current, status)) {
            errno = EACCES;
            return false;
        }
        std::string link;
        if (!readLink(current, link)) {
            return false;
        }
        if (!link.empty() && link[0] != '/' && isKernelLink(current, link)) {
            kernelLink = true;
            resolved = current;
            return true;
        }
        current = !link.empty() && link[0] == '/' ? link : directoryOf(current) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

// Opens the side file of an update lock, never through a link and never waiting on a FIFO put
// at the name; made new with the owner's bits alone when missing (created tells). -1 with errno
// set on failure.
int openSideFile(const std::string& side, bool& created) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < MAX_LOCK_ATTEMPTS; ++attempt) {
        int opened = open(side.c_str(), flags);
        if (opened >= 0 || errno != ENOENT) {
            created = false;
            return opened;
        }
        opened = open(side.c_str(), flags | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
        if (opened >= 0 || errno != EEXIST) {
            created = opened >= 0;
            return opened;
        }
    }
    errno = EEXIST;
    return -1;
}

// The mode of a side file whose target has the mode given: read and write for each class of
// the accounts that may write the target, nothing for the others.
mode_t sideFileMode(mode_t targetMode) {
    mode_t mode = 0;
    mode |= (targetMode & S_IWUSR) != 0 ? S_IRUSR | S_IWUSR : 0;
    mode |= (targetMode & S_IWGRP) != 0 ? S_IRGRP | S_IWGRP : 0;
    mode |= (targetMode & S_IWOTH) != 0 ? S_IROTH | S_IWOTH : 0;
    return mode;
}

// Gives the side file the owner, group and mode that let exactly the target's writers open it:
// a side file made now, or one of an older mode that its owner (or a privileged caller) takes.
// A side file whose owner and group cannot be the target's keeps its mode: narrowing it could
// shut out a writer of the target. Without a target a new side file keeps the maker's umask
// applied to the mode of a new file. Failures change nothing for the lock.
void fitSideFile(int descriptor, bool created, const struct stat* target) {
    struct stat side {};
    if (fstat(descriptor, &side) != 0 || !S_ISREG(side.st_mode)) {
        return;
    }
    if (target == nullptr) {
        if (created) {
            fchmod(descriptor, sideFileMode(0666 & ~processUmask()));
        }
        return;
    }
    // Only the empty file of one name that a lock leaves is changed: a file linked in from
    // elsewhere under the side file's name keeps its owner and mode.
    if (!created &&
        ((side.st_uid != geteuid() && geteuid() != 0) || side.st_nlink != 1 || side.st_size != 0)) {
        return;
    }
    if (side.st_uid != target->st_uid || side.st_gid != target->st_gid) {
        // Only a privileged caller may give the file away; its group the owner may change.
        if (fchown(descriptor, target->st_uid, target->st_gid) != 0) {
            fchown(descriptor, static_cast<uid_t>(-1), target->st_gid);
        }
        if (fstat(descriptor, &side) != 0) {
            return;
        }
    }
    const bool targetsOwnership = side.st_uid == target->st_uid && side.st_gid == target->st_gid;
    const mode_t wanted = sideFileMode(target->st_mode);
    if ((created || targetsOwnership) && (side.st_mode & 07777) != wanted) {
        fchmod(descriptor, wanted);
    }
}

} // namespace

bool isFileAtPath(int descriptor, const std::string& nativePath) {
    struct stat opened {};
    struct stat named {};
    return fstat(descriptor, &opened) == 0 && stat(nativePath.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool resolveLinks(const std::string& nativePath, std::string& resolved) {
    bool kernelLink = false;
    return resolveChain(nativePath, resolved, kernelLink);
}

bool resolveForOpen(const std::string& nativePath, int& flags, std::string& openPath) {
    if ((flags & O_ACCMODE) == O_RDONLY && (flags & (O_CREAT | O_TRUNC)) == 0) {
        openPath = nativePath;
        return true;
    }
    bool kernelLink = false;
    if (!resolveChain(nativePath, openPath, kernelLink)) {
        return false;
    }
    flags |= kernelLink ? 0 : O_NOFOLLOW;
    return true;
}

int openResolved(const std::string& nativePath, int flags, mode_t mode) {
    std::string openPath;
    if (!resolveForOpen(nativePath, flags, openPath)) {
        return -1;
    }
    return open(openPath.c_str(), flags, mode);
}

FileReplacement::FileReplacement()
    : output(-1), lock(-1), inPlace(false), existed(false), locking(Unlocked) {}

FileReplacement::~FileReplacement() {
    abandon();
}

bool FileReplacement::begin(const std::wstring& targetPath, Locking lockingMode,
                            mode_t newFileMode) {
    abandon();
    locking = lockingMode;
    inPlace = false;
    bool kernelLink = false;
    if (!resolveChain(nativePath(targetPath), target, kernelLink)) {
        return failFromErrno();
    }
    if (nameOf(target).empty()) {
        return failWith(ERROR_ACCESS_DENIED);
    }
    struct stat status {};
    existed = lstat(target.c_str(), &status) == 0;
    if (!existed && errno != ENOENT) {
        return failFromErrno();
    }
    if (existed && S_ISDIR(status.st_mode)) {
        return failWith(ERROR_ACCESS_DENIED);
    }
    if (existed && !S_ISREG(status.st_mode)) {
        return beginInPlace(lockingMode, kernelLink ? 0 : O_NOFOLLOW);
    }
    // Renaming needs only the directory's permission: a file the caller may not write stays
    // as it is, as an open for writing would leave it.
    if (existed && access(target.c_str(), W_OK) != 0) {
        return failFromErrno();
    }
    if (existed && locking == Exclusive) {
        if (lockTarget()) {
            if (fstat(lock, &status) != 0) {
                return failFromErrno();
            }
        } else if (errno == ENOENT) {
            // Removed since it was seen: created new like any missing target.
            existed = false;
        } else {
            return false;
        }
    }
    removeStaleTemporaries();
    return createTemporary(newFileMode, existed ? &status : nullptr);
}

bool FileReplacement::write(const void* bytes, size_t count) {
    if (output < 0) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    const char* source = static_cast<const char*>(bytes);
    for (size_t done = 0; done < count;) {
        const ssize_t written = ::write(output, source + done, count - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written == 0 ? ENOSPC : errno;
            setLastErrorFromErrno();
            abandon();
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool FileReplacement::commit() {
    if (output < 0) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    if (inPlace) {
        const int closed = close(output);
        output = -1;
        releaseLock();
        return closed == 0 || failFromErrno();
    }
    // Bytes that the system could not store may show only at the flush or the close.
    const bool stored = fsync(output) == 0;
    const bool closed = close(output) == 0 && stored;
    output = -1;
    if (!closed) {
        setLastErrorFromErrno();
    }
    if (!closed || !putInPlace()) {
        abandon();
        return false;
    }
    temporary.clear();
    syncDirectory(directoryOf(target));
    releaseLock();
    return true;
}

void FileReplacement::abandon() {
    const int savedErrno = errno;
    const DWORD savedError = GetLastError();
    if (output >= 0) {
        close(output);
        output = -1;
    }
    if (!temporary.empty()) {
        unlink(temporary.c_str());
        temporary.clear();
    }
    releaseLock();
    errno = savedErrno;
    SetLastError(savedError);
}

void FileReplacement::setTemporaryPattern(const std::string& pattern) {
    temporaryPattern = pattern;
}

bool FileReplacement::createTemporary(mode_t mode, const struct stat* original) {
    const std::string directory = directoryOf(target);
    if (!temporaryPattern.empty()) {
        return createFromPattern(directory, mode, original);
    }
    const std::string prefix = hiddenSibling(directory, nameOf(target), MAX_NAME_PART, ".");
    for (int attempt = 0; attempt < MAX_TEMPORARY_ATTEMPTS; ++attempt) {
        const std::string candidate = prefix + randomDigits() + TEMPORARY_SUFFIX;
        // Created new and never through a link: whatever exists at the name stays untouched.
        const int descriptor =
            open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 original != nullptr ? 0600 : mode);
        if (descriptor < 0 && errno == EEXIST) {
            continue;
        }
        if (descriptor < 0) {
            return failFromErrno();
        }
        return adoptTemporary(descriptor, candidate, original);
    }
    errno = EEXIST;
    return failFromErrno();
}

bool FileReplacement::createFromPattern(const std::string& directory, mode_t mode,
                                        const struct stat* original) {
    std::string name = (directory == "/" ? "/" : directory + "/") + temporaryPattern;
    // Created new (O_EXCL) with the owner's bits only; the wanted bits are set right after.
    const int descriptor = mkostemp(&name[0], O_CLOEXEC);
    if (descriptor < 0) {
        return failFromErrno();
    }
    if (!adoptTemporary(descriptor, name, original)) {
        return false;
    }
    if (original == nullptr && fchmod(descriptor, mode & ~processUmask() & 07777) != 0) {
        setLastErrorFromErrno();
        abandon();
        return false;
    }
    return true;
}

bool FileReplacement::adoptTemporary(int descriptor, const std::string& name,
                                     const struct stat* original) {
    output = descriptor;
    temporary = name;
    if (original != nullptr && !takeOwnerAndMode(descriptor, *original)) {
        setLastErrorFromErrno();
        abandon();
        return false;
    }
    return true;
}

bool FileReplacement::beginInPlace(Locking lockingMode, int noFollow) {
    // A FIFO without a reader is refused at once rather than waited for.
    const int descriptor = open(target.c_str(), O_WRONLY | noFollow | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return failFromErrno();
    }
    const int flags = fcntl(descriptor, F_GETFL);
    const bool blocking = flags >= 0 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == 0;
    if (!blocking) {
        setLastErrorFromErrno();
    }
    if (!blocking || (lockingMode == Exclusive && !lockExclusive(descriptor))) {
        close(descriptor);
        return false;
    }
    inPlace = true;
    output = descriptor;
    return true;
}

bool FileReplacement::lockTarget() {
    for (int attempt = 0; attempt < MAX_LOCK_ATTEMPTS; ++attempt) {
        const int descriptor = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (descriptor < 0) {
            return failFromErrno();
        }
        if (!lockExclusive(descriptor)) {
            close(descriptor);
            return false;
        }
        // A lock on a file that another holder has just replaced guards nothing: take the
        // lock again, on the file now at the path.
        if (isFileAtPath(descriptor, target)) {
            lock = descriptor;
            return true;
        }
        close(descriptor);
    }
    return failWith(ERROR_SHARING_VIOLATION);
}

bool FileReplacement::putInPlace() {
    if (existed || locking == Unlocked) {
        return renameOver(temporary, target);
    }
    // A new file never replaces one that another process created meanwhile: that one is
    // replaced only under its lock.
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        return renameOver(temporary, target);
    }
    if (errno != EEXIST) {
        return failFromErrno();
    }
    return lockTarget() && renameOver(temporary, target);
}

void FileReplacement::releaseLock() {
    if (lock >= 0) {
        close(lock);
        lock = -1;
    }
}

// Entries are looked at and removed through the directory's descriptor, and only regular files
// of the exact name pattern whose last change is old: a live saver's temporary is young, and
// whatever else lives in the directory stays. Failures change nothing for the replacement.
void FileReplacement::removeStaleTemporaries() const {
    const int savedErrno = errno;
    const int directory = open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* const entries = directory >= 0 ? fdopendir(directory) : nullptr;
    if (entries == nullptr) {
        if (directory >= 0) {
            close(directory);
        }
        errno = savedErrno;
        return;
    }
    const std::string prefix = temporaryPrefix(nameOf(target));
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const time_t staleBefore = now.tv_sec - STALE_TEMPORARY_AGE_SECONDS;
    while (const dirent* const entry = readdir(entries)) {
        struct stat status {};
        if (isTemporaryName(entry->d_name, prefix) &&
            fstatat(directory, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && status.st_mtim.tv_sec < staleBefore) {
            unlinkat(directory, entry->d_name, 0);
        }
    }
    closedir(entries);
    errno = savedErrno;
}

FileUpdateLock::FileUpdateLock() : descriptor(-1) {}

FileUpdateLock::~FileUpdateLock() {
    release();
}

// The side file is locked with flock, which any descriptor of it allows, one open for reading
// included: the side file's mode lets only the accounts that may write the target open it.
bool FileUpdateLock::acquire(const std::wstring& targetPath) {
    release();
    std::string target;
    if (!resolveLinks(nativePath(targetPath), target)) {
        return failFromErrno();
    }
    if (nameOf(target).empty()) {
        return failWith(ERROR_ACCESS_DENIED);
    }
    struct stat targetStatus {};
    const bool targetExists = stat(target.c_str(), &targetStatus) == 0;
    if (!targetExists && errno != ENOENT) {
        return failFromErrno();
    }
    // Only an account that may write the file takes part in its updates.
    if (targetExists && access(target.c_str(), W_OK) != 0) {
        return failFromErrno();
    }
    const std::string side =
        hiddenSibling(directoryOf(target), nameOf(target), MAX_LOCK_NAME_PART, LOCK_SUFFIX);
    for (int attempt = 0; attempt < MAX_LOCK_ATTEMPTS; ++attempt) {
        bool created = false;
        const int opened = openSideFile(side, created);
        if (opened < 0) {
            return failFromErrno();
        }
        fitSideFile(opened, created, targetExists ? &targetStatus : nullptr);
        if (flock(opened, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            close(opened);
            if (error == EWOULDBLOCK) {
                return failWith(ERROR_SHARING_VIOLATION);
            }
            errno = error;
            return failFromErrno();
        }
        // The side file may have gone with its directory between the open and the lock; a
        // lock on it would guard nothing.
        struct stat locked {};
        struct stat named {};
        if (fstat(opened, &locked) != 0 || !S_ISREG(locked.st_mode)) {
            close(opened);
            return failWith(ERROR_ACCESS_DENIED);
        }
        if (stat(side.c_str(), &named) == 0 && named.st_dev == locked.st_dev &&
            named.st_ino == locked.st_ino) {
            descriptor = opened;
            return true;
        }
        close(opened);
    }
    return failWith(ERROR_SHARING_VIOLATION);
}

void FileUpdateLock::release() {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
}

} // namespace krel_platform
