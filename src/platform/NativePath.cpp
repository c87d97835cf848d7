#include "platform/NativePath.h"

#include <cerrno>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinFile.h"

namespace krel_platform {

namespace {

bool isAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// A leading "X:" followed by a separator is a drive root.
bool startsWithDriveRoot(const std::wstring& path) {
    return path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == L':' && isSeparator(path[2]);
}

} // namespace

std::string nativePath(const std::wstring& path) {
    std::wstring text = startsWithDriveRoot(path) ? path.substr(2) : path;
    for (wchar_t& c : text) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return wideToUtf8(text);
}

DWORD fileErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EAGAIN:
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
    // A file grown to the largest size its file system or the process's limit allows.
    case EFBIG:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void setLastErrorFromErrno() {
    const int saved = errno;
    SetLastError(fileErrorFromErrno(saved));
    errno = saved;
}

} // namespace krel_platform
