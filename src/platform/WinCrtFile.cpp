#include "platform/WinCrtFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/time.h>
#include <unistd.h>

#include "platform/FileReplacement.h"
#include "platform/NativePath.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinFile.h"

using krel_platform::nativePath;
using krel_platform::setLastErrorFromErrno;

namespace {

// A file size in the 32-bit field of the narrow status: larger sizes count as the largest.
int32_t saturatedSize(int64_t size) {
    return static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
}

// A running directory search: the open directory, its native path and the name pattern.
struct FindState {
    DIR* directory;
    std::string path;
    std::wstring pattern;
};

// Answers `result`; on failure (-1) records the Windows error for errno as well.
int reportResult(int result) {
    if (result < 0) {
        setLastErrorFromErrno();
    }
    return result;
}

bool nullPath(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') {
        errno = path == nullptr ? EINVAL : ENOENT;
        setLastErrorFromErrno();
        return true;
    }
    return false;
}

int linuxOpenFlags(int openFlag) {
    int flags = O_CLOEXEC;
    switch (openFlag & (_O_WRONLY | _O_RDWR)) {
    case _O_WRONLY:
        flags |= O_WRONLY;
        break;
    case _O_RDWR:
        flags |= O_RDWR;
        break;
    default:
        flags |= O_RDONLY;
    }
    flags |= (openFlag & _O_APPEND) ? O_APPEND : 0;
    flags |= (openFlag & _O_CREAT) ? O_CREAT : 0;
    flags |= (openFlag & _O_TRUNC) ? O_TRUNC : 0;
    flags |= (openFlag & _O_EXCL) ? O_EXCL : 0;
    return flags;
}

// The file's creation time where the file system keeps one, else its status change time.
int64_t creationTime(const std::string& path, const struct stat& status) {
    struct statx extended {};
    if (!path.empty() && statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &extended) == 0 &&
        (extended.stx_mask & STATX_BTIME) != 0) {
        return extended.stx_btime.tv_sec;
    }
    return status.st_ctim.tv_sec;
}

void fillStatus(const std::string& path, const struct stat& status, struct _stat64& buffer) {
    buffer = _stat64{};
    buffer.st_dev = static_cast<uint32_t>(status.st_dev);
    buffer.st_ino = status.st_ino;
    buffer.st_mode =
        static_cast<unsigned short>((status.st_mode & S_IFMT) | (status.st_mode & 07777));
    buffer.st_nlink = static_cast<short>(status.st_nlink);
    buffer.st_uid = static_cast<short>(status.st_uid);
    buffer.st_gid = static_cast<short>(status.st_gid);
    buffer.st_rdev = static_cast<uint32_t>(status.st_rdev);
    buffer.st_size = status.st_size;
    buffer.st_atime = status.st_atim.tv_sec;
    buffer.st_mtime = status.st_mtim.tv_sec;
    buffer.st_ctime = creationTime(path, status);
}

// Standard backtracking match of '*' and '?' against a whole name.
bool matchesPattern(const std::wstring& name, const std::wstring& pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starPattern = std::wstring::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            starPattern = p++;
            starName = n;
        } else if (starPattern != std::wstring::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

// The status of a directory entry in one call: of what a link names, else of the link itself
// (whose creation time is then its change time); with the creation time where the file system
// keeps one.
bool entryStatus(const std::string& path, struct statx& status) {
    const unsigned int wanted = STATX_BASIC_STATS | STATX_BTIME;
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, wanted, &status) == 0) {
        return true;
    }
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, wanted, &status) == 0) {
        status.stx_mask &= ~static_cast<unsigned int>(STATX_BTIME);
        return true;
    }
    return false;
}

// Fills `data` with the next entry that matches; false at the end of the directory.
bool nextMatch(FindState& state, struct _wfinddata64i32_t& data) {
    while (dirent* entry = readdir(state.directory)) {
        const std::wstring name = krel_platform::utf8ToWide(entry->d_name);
        if (!matchesPattern(name, state.pattern) || name.size() >= 260) {
            continue;
        }
        data = _wfinddata64i32_t{};
        wcscpy(data.name, name.c_str());
        const std::string path = state.path + "/" + entry->d_name;
        struct statx status {};
        if (entryStatus(path, status)) {
            data.attrib = S_ISDIR(status.stx_mode) ? _A_SUBDIR : _A_NORMAL;
            data.attrib |= (name.size() > 1 && name[0] == L'.' && name != L"..") ? _A_HIDDEN : 0;
            data.time_create = (status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime.tv_sec
                                                                    : status.stx_ctime.tv_sec;
            data.time_access = status.stx_atime.tv_sec;
            data.time_write = status.stx_mtime.tv_sec;
            data.size = static_cast<_fsize_t>(status.stx_size);
        }
        return true;
    }
    return false;
}

// Turns a runtime stream mode ("a+", "rb", "wt, ccs=UTF-8") into the C library's.
std::string streamMode(const wchar_t* mode) {
    std::string result;
    for (const wchar_t* c = mode; *c != L'\0' && *c != L','; ++c) {
        if (*c == L'r' || *c == L'w' || *c == L'a' || *c == L'+') {
            result += static_cast<char>(*c);
        }
    }
    return result;
}

// The open flags of a C library stream mode that begins with 'r', 'w' or 'a'.
int streamOpenFlags(const std::string& mode) {
    const bool update = mode.find('+') != std::string::npos;
    int flags = O_CLOEXEC | (update ? O_RDWR : (mode[0] == 'r' ? O_RDONLY : O_WRONLY));
    flags |= mode[0] == 'w' ? O_CREAT | O_TRUNC : 0;
    flags |= mode[0] == 'a' ? O_CREAT | O_APPEND : 0;
    return flags;
}

// Opens a descriptor as the runtime does: a directory is refused with EACCES, and the open never
// waits for a peer (a FIFO without a writer reads as empty; one without a reader refuses
// writing), so no caller can hang in it. An open that writes follows only the links that
// resolveForOpen approves. -1 with errno set on failure.
int openDescriptor(const std::string& path, int flags, mode_t mode) {
    const int descriptor = krel_platform::openResolved(path, flags | O_NONBLOCK, mode);
    if (descriptor < 0) {
        return -1;
    }
    struct stat status {};
    const int statusFlags = fcntl(descriptor, F_GETFL);
    if (fstat(descriptor, &status) != 0 || statusFlags < 0 ||
        fcntl(descriptor, F_SETFL, statusFlags & ~O_NONBLOCK) != 0 || S_ISDIR(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EACCES : errno;
        close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

} // namespace

int _wopen(const wchar_t* fileName, int openFlag, int permissionMode) {
    if (nullPath(fileName)) {
        return -1;
    }
    const mode_t mode = (permissionMode & _S_IWRITE) != 0 ? 0666 : 0444;
    return reportResult(openDescriptor(nativePath(fileName), linuxOpenFlags(openFlag), mode));
}

int _read(int descriptor, void* buffer, unsigned int count) {
    ssize_t result;
    do {
        result = read(descriptor, buffer, count);
    } while (result < 0 && errno == EINTR);
    return reportResult(static_cast<int>(result));
}

int _write(int descriptor, const void* buffer, unsigned int count) {
    ssize_t result;
    do {
        result = write(descriptor, buffer, count);
    } while (result < 0 && errno == EINTR);
    return reportResult(static_cast<int>(result));
}

int _close(int descriptor) {
    return reportResult(close(descriptor));
}

int64_t _filelengthi64(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        setLastErrorFromErrno();
        return -1;
    }
    return status.st_size;
}

int64_t _telli64(int descriptor) {
    const off_t position = lseek(descriptor, 0, SEEK_CUR);
    if (position < 0) {
        setLastErrorFromErrno();
        return -1;
    }
    return position;
}

int _chsize_s(int descriptor, int64_t size) {
    if (size < 0) {
        errno = EINVAL;
        setLastErrorFromErrno();
        return EINVAL;
    }
    int result;
    do {
        result = ftruncate(descriptor, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        setLastErrorFromErrno();
        return error;
    }
    return 0;
}

int _wstat64(const wchar_t* path, struct _stat64* buffer) {
    if (nullPath(path)) {
        return -1;
    }
    const std::string native = nativePath(path);
    struct stat status {};
    if (stat(native.c_str(), &status) != 0) {
        return reportResult(-1);
    }
    fillStatus(native, status, *buffer);
    return 0;
}

int _fstat64i32(int descriptor, struct _stat64i32* buffer) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        return reportResult(-1);
    }
    struct _stat64 wide {};
    fillStatus(std::string(), status, wide);
    *buffer = _stat64i32{wide.st_dev,   wide.st_ino,   wide.st_mode, wide.st_nlink,
                         wide.st_uid,   wide.st_gid,   wide.st_rdev, saturatedSize(wide.st_size),
                         wide.st_atime, wide.st_mtime, wide.st_ctime};
    return 0;
}

int _waccess(const wchar_t* path, int mode) {
    if (nullPath(path)) {
        return -1;
    }
    const int wanted = ((mode & 2) ? W_OK : 0) | ((mode & 4) ? R_OK : 0);
    return reportResult(access(nativePath(path).c_str(), wanted == 0 ? F_OK : wanted));
}

int _wmkdir(const wchar_t* dirName) {
    if (nullPath(dirName)) {
        return -1;
    }
    return reportResult(mkdir(nativePath(dirName).c_str(), 0777));
}

int _wrmdir(const wchar_t* dirName) {
    if (nullPath(dirName)) {
        return -1;
    }
    return reportResult(rmdir(nativePath(dirName).c_str()));
}

int _wremove(const wchar_t* path) {
    if (nullPath(path)) {
        return -1;
    }
    if (unlink(nativePath(path).c_str()) != 0) {
        errno = errno == EISDIR ? EACCES : errno;
        return reportResult(-1);
    }
    return 0;
}

int _wrename(const wchar_t* oldName, const wchar_t* newName) {
    if (nullPath(oldName) || nullPath(newName)) {
        return -1;
    }
    const std::string from = nativePath(oldName);
    const std::string to = nativePath(newName);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return reportResult(-1);
    }
    // A file system without the no-replace flag: check, then rename.
    struct stat status {};
    if (lstat(to.c_str(), &status) == 0) {
        errno = EEXIST;
        return reportResult(-1);
    }
    return reportResult(rename(from.c_str(), to.c_str()));
}

int _wutime64(const wchar_t* fileName, struct __utimbuf64* times) {
    if (nullPath(fileName)) {
        return -1;
    }
    if (times == nullptr) {
        return reportResult(utimensat(AT_FDCWD, nativePath(fileName).c_str(), nullptr, 0));
    }
    struct timespec stamps[2] = {{static_cast<time_t>(times->actime), 0},
                                 {static_cast<time_t>(times->modtime), 0}};
    return reportResult(utimensat(AT_FDCWD, nativePath(fileName).c_str(), stamps, 0));
}

FILE* _wfopen(const wchar_t* fileName, const wchar_t* mode) {
    if (nullPath(fileName) || mode == nullptr) {
        return nullptr;
    }
    const std::string cMode = streamMode(mode);
    if (cMode.empty() || cMode.find_first_of("rwa") != 0) {
        errno = EINVAL;
        setLastErrorFromErrno();
        return nullptr;
    }
    const int descriptor = openDescriptor(nativePath(fileName), streamOpenFlags(cMode), 0666);
    FILE* stream = descriptor < 0 ? nullptr : fdopen(descriptor, cMode.c_str());
    if (stream == nullptr) {
        if (descriptor >= 0) {
            const int error = errno;
            close(descriptor);
            errno = error;
        }
        setLastErrorFromErrno();
    }
    return stream;
}

int _fileno(FILE* stream) {
    if (stream == nullptr) {
        errno = EINVAL;
        setLastErrorFromErrno();
        return -1;
    }
    return fileno(stream);
}

intptr_t _wfindfirst64i32(const wchar_t* pattern, struct _wfinddata64i32_t* data) {
    if (nullPath(pattern)) {
        return -1;
    }
    const std::string native = nativePath(pattern);
    const size_t slash = native.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : native.substr(0, slash);
    directory = slash == 0 ? "/" : directory;
    FindState* state = new FindState{
        opendir(directory.c_str()), directory == "/" ? "" : directory,
        krel_platform::utf8ToWide(slash == std::string::npos ? native : native.substr(slash + 1))};
    if (state->directory == nullptr) {
        setLastErrorFromErrno();
        delete state;
        return -1;
    }
    if (!nextMatch(*state, *data)) {
        closedir(state->directory);
        delete state;
        errno = ENOENT;
        setLastErrorFromErrno();
        return -1;
    }
    return reinterpret_cast<intptr_t>(state);
}

int _wfindnext64i32(intptr_t handle, struct _wfinddata64i32_t* data) {
    if (handle == -1 || handle == 0) {
        errno = EINVAL;
        return reportResult(-1);
    }
    if (!nextMatch(*reinterpret_cast<FindState*>(handle), *data)) {
        errno = ENOENT;
        SetLastError(ERROR_NO_MORE_FILES);
        return -1;
    }
    return 0;
}

int _findclose(intptr_t handle) {
    if (handle == -1 || handle == 0) {
        errno = EINVAL;
        return reportResult(-1);
    }
    FindState* state = reinterpret_cast<FindState*>(handle);
    closedir(state->directory);
    delete state;
    return 0;
}
