#include "platform/WinMove.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

#include "platform/NativePath.h"
#include "platform/WinBase.h"

using krel_platform::nativePath;
using krel_platform::setLastErrorFromErrno;

namespace {

BOOL failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL failFromErrno() {
    setLastErrorFromErrno();
    return FALSE;
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// rename(2) replaces a file atomically; it would also replace an empty directory, which
// Windows never does.
BOOL renameReplacing(const std::string& from, const std::string& to) {
    if (isDirectory(to)) {
        return failWith(ERROR_ACCESS_DENIED);
    }
    return rename(from.c_str(), to.c_str()) == 0 ? TRUE : failFromErrno();
}

BOOL renameKeeping(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return TRUE;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return failFromErrno();
    }
    // A file system without the no-replace flag: check, then rename.
    struct stat status {};
    if (lstat(to.c_str(), &status) == 0) {
        return failWith(ERROR_ALREADY_EXISTS);
    }
    return rename(from.c_str(), to.c_str()) == 0 ? TRUE : failFromErrno();
}

} // namespace

BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
    if (existingFileName == nullptr || newFileName == nullptr ||
        (flags & ~MOVEFILE_REPLACE_EXISTING) != 0) {
        return failWith(ERROR_INVALID_PARAMETER);
    }
    if (*existingFileName == L'\0' || *newFileName == L'\0') {
        return failWith(ERROR_PATH_NOT_FOUND);
    }
    const std::string from = nativePath(existingFileName);
    const std::string to = nativePath(newFileName);
    return (flags & MOVEFILE_REPLACE_EXISTING) != 0 ? renameReplacing(from, to)
                                                    : renameKeeping(from, to);
}
