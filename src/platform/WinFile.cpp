#include "platform/WinFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "platform/FileReplacement.h"
#include "platform/NativePath.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"

using krel_platform::nativePath;
using krel_platform::setLastErrorFromErrno;

namespace {

// Each new attempt means that another holder replaced the file meanwhile; the bound only ends a
// pathological run.
const int MAX_OPEN_ATTEMPTS = 100;

// The kernel object behind a handle made by CreateFileW: one Linux descriptor, closed (which
// releases its open-file-description lock) when the last reference to the object goes.
class KernelFile : public krel_platform::KernelObject {
public:
    explicit KernelFile(int descriptor) : descriptor(descriptor) {}
    ~KernelFile() override { close(descriptor); }

    int get() const { return descriptor; }

private:
    int descriptor;
};

// The file a handle names, or an empty pointer (with ERROR_INVALID_HANDLE). The caller keeps
// the reference for the whole operation, so a handle closed meanwhile cannot close the
// descriptor under it.
std::shared_ptr<KernelFile> fileOf(HANDLE object) {
    std::shared_ptr<KernelFile> file = krel_platform::referenceHandleAs<KernelFile>(object);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return file;
}

int accessFlags(DWORD desiredAccess) {
    const bool reads = (desiredAccess & GENERIC_READ) != 0;
    const bool writes = (desiredAccess & GENERIC_WRITE) != 0;
    if (writes) {
        return reads ? O_RDWR : O_WRONLY;
    }
    return O_RDONLY;
}

// Opens the descriptor as the creation disposition asks; `existed` tells whether the file was
// there before. -1 with errno set on failure. The descriptor is non-blocking, so that opening a
// FIFO never waits for a peer; the caller clears the flag.
int openByDisposition(const std::string& path, int flags, DWORD disposition, bool& existed) {
    flags |= O_CLOEXEC | O_NONBLOCK;
    existed = true;
    switch (disposition) {
    case CREATE_NEW:
        existed = false;
        return open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
        return open(path.c_str(), flags);
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        for (int attempt = 0; attempt < 8; ++attempt) {
            int descriptor = open(path.c_str(), flags);
            if (descriptor >= 0 || errno != ENOENT) {
                return descriptor;
            }
            descriptor = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
            if (descriptor >= 0 || errno != EEXIST) {
                existed = false;
                return descriptor;
            }
        }
        return -1;
    default:
        errno = EINVAL;
        return -1;
    }
}

// The lock that stands for the share mode: exclusive for a writer or for a holder that lets
// nobody read, shared for a holder that lets nobody write, none when everything is shared.
short lockTypeFor(DWORD desiredAccess, DWORD shareMode, int flags) {
    const bool canLockExclusive = (flags & O_ACCMODE) != O_RDONLY;
    if ((desiredAccess & GENERIC_WRITE) != 0 || (shareMode & FILE_SHARE_READ) == 0) {
        return canLockExclusive ? F_WRLCK : F_RDLCK;
    }
    if ((shareMode & FILE_SHARE_WRITE) == 0) {
        return (flags & O_ACCMODE) == O_WRONLY ? F_WRLCK : F_RDLCK;
    }
    return F_UNLCK;
}

// Takes the whole-file lock without waiting; false with ERROR_SHARING_VIOLATION when another
// holder keeps it.
bool lockWholeFile(int descriptor, short type) {
    if (type == F_UNLCK) {
        return true;
    }
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (fcntl(descriptor, F_OFD_SETLK, &lock) == 0) {
        return true;
    }
    if (errno == EAGAIN || errno == EACCES) {
        SetLastError(ERROR_SHARING_VIOLATION);
    } else {
        setLastErrorFromErrno();
    }
    return false;
}

bool clearNonBlocking(int descriptor) {
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

bool truncates(DWORD disposition, bool existed) {
    return disposition == TRUNCATE_EXISTING || (disposition == CREATE_ALWAYS && existed);
}

HANDLE failOpen(int descriptor) {
    if (descriptor >= 0) {
        close(descriptor);
    }
    return INVALID_HANDLE_VALUE;
}

// The name part of a native path, trailing separators ignored.
std::string baseName(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return "/";
    }
    const size_t slash = path.find_last_of('/', end);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end + 1 - start);
}

DWORD attributesOf(const struct stat& status, const std::string& path, bool link) {
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if ((status.st_mode & S_IWUSR) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    const std::string name = baseName(path);
    if (name.size() > 1 && name[0] == '.' && name != "..") {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    if (link) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// 100-nanosecond steps from 1601-01-01 to 1970-01-01.
const int64_t FILETIME_UNIX_EPOCH = 116444736000000000LL;

FILETIME fileTimeOf(const timespec& time) {
    const uint64_t ticks = static_cast<uint64_t>(
        FILETIME_UNIX_EPOCH + static_cast<int64_t>(time.tv_sec) * 10000000LL + time.tv_nsec / 100);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The status of the file (of a symbolic link's target, when it has one) and its attributes;
// false with the last error set when the file cannot be reached.
bool readAttributes(LPCWSTR fileName, struct stat& status, DWORD& attributes) {
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::string path = nativePath(fileName);
    if (lstat(path.c_str(), &status) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    if (!S_ISLNK(status.st_mode)) {
        attributes = attributesOf(status, path, false);
        return true;
    }
    struct stat target {};
    if (stat(path.c_str(), &target) == 0) {
        status = target;
    }
    attributes = attributesOf(status, path, true);
    return true;
}

bool currentDirectory(std::wstring& directory) {
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            setLastErrorFromErrno();
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
    directory = krel_platform::utf8ToWide(buffer.data());
    return true;
}

} // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // A writer, or an open that may make or empty the file, follows only approved links.
    int flags = accessFlags(desiredAccess) | (creationDisposition == OPEN_EXISTING ? 0 : O_CREAT);
    std::string path;
    if (!krel_platform::resolveForOpen(nativePath(fileName), flags, path)) {
        SetLastError(krel_platform::fileErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    flags &= ~O_CREAT;
    for (int attempt = 0; attempt < MAX_OPEN_ATTEMPTS; ++attempt) {
        bool existed = true;
        const int descriptor = openByDisposition(path, flags, creationDisposition, existed);
        if (descriptor < 0) {
            SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS
                                         : krel_platform::fileErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        struct stat status {};
        if (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return failOpen(descriptor);
        }
        if (!clearNonBlocking(descriptor)) {
            return failOpen(descriptor);
        }
        if (!lockWholeFile(descriptor, lockTypeFor(desiredAccess, shareMode, flags))) {
            return failOpen(descriptor);
        }
        // A file replaced by a rename between the open and the lock is no longer the file at
        // the path: its lock would keep nobody out. Open the file now at the path instead.
        if (!krel_platform::isFileAtPath(descriptor, path)) {
            close(descriptor);
            continue;
        }
        if (truncates(creationDisposition, existed) && ftruncate(descriptor, 0) != 0) {
            setLastErrorFromErrno();
            return failOpen(descriptor);
        }
        const bool reportExisting =
            existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
        SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return krel_platform::insertHandle(std::make_shared<KernelFile>(descriptor));
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    const std::shared_ptr<KernelFile> kernelFile = fileOf(file);
    if (!kernelFile) {
        return FALSE;
    }
    const int descriptor = kernelFile->get();
    DWORD total = 0;
    char* target = static_cast<char*>(buffer);
    while (total < bytesToRead) {
        const ssize_t count = read(descriptor, target + total, bytesToRead - total);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            setLastErrorFromErrno();
            return FALSE;
        }
        if (count == 0) {
            break;
        }
        total += static_cast<DWORD>(count);
        if (bytesRead != nullptr) {
            *bytesRead = total;
        }
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    const std::shared_ptr<KernelFile> kernelFile = fileOf(file);
    if (!kernelFile) {
        return FALSE;
    }
    const int descriptor = kernelFile->get();
    DWORD total = 0;
    const char* source = static_cast<const char*>(buffer);
    while (total < bytesToWrite) {
        const ssize_t count = write(descriptor, source + total, bytesToWrite - total);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            setLastErrorFromErrno();
            return FALSE;
        }
        total += static_cast<DWORD>(count);
        if (bytesWritten != nullptr) {
            *bytesWritten = total;
        }
    }
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distanceToMove, LARGE_INTEGER* newFilePointer,
                      DWORD moveMethod) {
    const std::shared_ptr<KernelFile> kernelFile = fileOf(file);
    if (!kernelFile) {
        return FALSE;
    }
    const int descriptor = kernelFile->get();
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (moveMethod > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const off_t position = lseek(descriptor, distanceToMove.QuadPart, whence[moveMethod]);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK
                                     : krel_platform::fileErrorFromErrno(errno));
        return FALSE;
    }
    if (newFilePointer != nullptr) {
        newFilePointer->QuadPart = position;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
    LARGE_INTEGER distance;
    distance.QuadPart = distanceToMove;
    if (distanceToMoveHigh != nullptr) {
        distance.u.LowPart = static_cast<DWORD>(distanceToMove);
        distance.u.HighPart = *distanceToMoveHigh;
    }
    LARGE_INTEGER position;
    if (!SetFilePointerEx(file, distance, &position, moveMethod)) {
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceToMoveHigh != nullptr) {
        *distanceToMoveHigh = position.u.HighPart;
    }
    SetLastError(ERROR_SUCCESS);
    return position.u.LowPart;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    const std::shared_ptr<KernelFile> kernelFile = fileOf(file);
    if (!kernelFile) {
        return FALSE;
    }
    const int descriptor = kernelFile->get();
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        setLastErrorFromErrno();
        return FALSE;
    }
    size->QuadPart = status.st_size;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh != nullptr) {
        *sizeHigh = static_cast<DWORD>(size.u.HighPart);
    }
    SetLastError(ERROR_SUCCESS);
    return size.u.LowPart;
}

DWORD GetFileType(HANDLE file) {
    const std::shared_ptr<KernelFile> kernelFile = fileOf(file);
    if (!kernelFile) {
        return FILE_TYPE_UNKNOWN;
    }
    struct stat status {};
    if (fstat(kernelFile->get(), &status) != 0) {
        setLastErrorFromErrno();
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(ERROR_SUCCESS);
    if (S_ISREG(status.st_mode)) {
        return FILE_TYPE_DISK;
    }
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        return FILE_TYPE_CHAR;
    }
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        return FILE_TYPE_PIPE;
    }
    return FILE_TYPE_UNKNOWN;
}

BOOL FlushFileBuffers(HANDLE file) {
    const std::shared_ptr<KernelFile> kernelFile = fileOf(file);
    if (!kernelFile) {
        return FALSE;
    }
    const int descriptor = kernelFile->get();
    if (fsync(descriptor) != 0) {
        setLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    struct stat status {};
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    readAttributes(fileName, status, attributes);
    return attributes;
}

BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel, LPVOID information) {
    if (infoLevel != GetFileExInfoStandard || information == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat status {};
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (!readAttributes(fileName, status, attributes)) {
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data->dwFileAttributes = attributes;
    data->ftCreationTime = fileTimeOf(status.st_ctim);
    data->ftLastAccessTime = fileTimeOf(status.st_atim);
    data->ftLastWriteTime = fileTimeOf(status.st_mtim);
    const uint64_t size = S_ISDIR(status.st_mode) ? 0 : static_cast<uint64_t>(status.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}

DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
    std::wstring directory;
    if (!currentDirectory(directory)) {
        return 0;
    }
    const DWORD length = static_cast<DWORD>(directory.size());
    if (buffer == nullptr || bufferLength <= length) {
        return length + 1;
    }
    wmemcpy(buffer, directory.c_str(), directory.size() + 1);
    return length;
}

BOOL SetCurrentDirectoryW(LPCWSTR pathName) {
    if (pathName == nullptr || *pathName == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (chdir(nativePath(pathName).c_str()) != 0) {
        setLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer) {
    static const wchar_t drives[] = {L'/', L'\0', L'\0'};
    const DWORD needed = sizeof(drives) / sizeof(drives[0]);
    if (buffer == nullptr || bufferLength < needed) {
        return needed;
    }
    wmemcpy(buffer, drives, needed);
    return needed - 1;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes,
                         PULARGE_INTEGER totalNumberOfFreeBytes) {
    const std::string path = directoryName == nullptr ? "." : nativePath(directoryName);
    struct statvfs volume {};
    if (statvfs(path.c_str(), &volume) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                     : krel_platform::fileErrorFromErrno(errno));
        return FALSE;
    }
    const ULONGLONG unit = volume.f_frsize;
    if (freeBytesAvailableToCaller != nullptr) {
        freeBytesAvailableToCaller->QuadPart = unit * volume.f_bavail;
    }
    if (totalNumberOfBytes != nullptr) {
        totalNumberOfBytes->QuadPart = unit * volume.f_blocks;
    }
    if (totalNumberOfFreeBytes != nullptr) {
        totalNumberOfFreeBytes->QuadPart = unit * volume.f_bfree;
    }
    return TRUE;
}
