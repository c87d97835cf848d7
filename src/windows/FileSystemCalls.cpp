#include "windows/FileSystemCalls.h"

#include "base/ErrorUtils.h"
#include "exception/KrelIOException.h"
#include "file/SmartFileHandle.h"
#include "platform/DirectoryTree.h"
#include "platform/WinBase.h"
#include "platform/WinCrtFile.h"
#include "platform/WinFile.h"
#include "system/KrelSystem.h"
#include "windows/FindHandle.h"

using krel_std::ErrorUtils;
using krel_std::KrelIOException;

namespace krel_std_internal {

namespace {

const size_t WORKING_DIRECTORY_BUFFER = 260;
const DWORD DRIVE_BUFFER = 110;

[[noreturn]] void throwIOException(const wchar_t* context, const std::wstring& message,
                                   int errNum) {
    KrelIOException exception(message, errNum);
    exception.logDebug(context);
    throw exception;
}

bool attributesHave(const std::wstring& path, DWORD flag) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & flag) != 0;
}

bool status(const std::wstring& path, struct _stat64& buffer) {
    return _wstat64(path.c_str(), &buffer) == 0;
}

uint64_t milliseconds(__time64_t seconds) {
    return static_cast<uint64_t>(seconds) * 1000u;
}

// The texts of a buffer of zero-terminated entries, `length` characters long.
std::vector<std::wstring> splitEntries(const wchar_t* buffer, DWORD length) {
    std::vector<std::wstring> entries;
    for (DWORD start = 0; start < length;) {
        const std::wstring entry(buffer + start);
        if (entry.empty()) {
            break;
        }
        entries.push_back(entry);
        start += static_cast<DWORD>(entry.size()) + 1;
    }
    return entries;
}

} // namespace

bool FileSystemCalls::exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileSystemCalls::isDirectory(const std::wstring& path) {
    return attributesHave(path, FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystemCalls::isFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileSystemCalls::isHidden(const std::wstring& path) {
    return attributesHave(path, FILE_ATTRIBUTE_HIDDEN);
}

bool FileSystemCalls::isSymbolicLink(const std::wstring& path) {
    return attributesHave(path, FILE_ATTRIBUTE_REPARSE_POINT);
}

bool FileSystemCalls::canRead(const std::wstring& path) {
    return _waccess(path.c_str(), 4) == 0;
}

bool FileSystemCalls::canWrite(const std::wstring& path) {
    return _waccess(path.c_str(), 2) == 0;
}

uint64_t FileSystemCalls::getCreationTime(const std::wstring& path) {
    struct _stat64 buffer {};
    return status(path, buffer) ? milliseconds(buffer.st_ctime) : 0;
}

uint64_t FileSystemCalls::getLastModificationTime(const std::wstring& path) {
    struct _stat64 buffer {};
    return status(path, buffer) ? milliseconds(buffer.st_mtime) : 0;
}

uint64_t FileSystemCalls::getLength(const std::wstring& path) {
    struct _stat64 buffer {};
    return status(path, buffer) ? static_cast<uint64_t>(buffer.st_size) : 0;
}

uint64_t FileSystemCalls::getTreeSize(const std::wstring& path) {
    return krel_platform::treeSize(path);
}

bool FileSystemCalls::makeDirectory(const std::wstring& path) {
    return _wmkdir(path.c_str()) == 0;
}

bool FileSystemCalls::removeDirectory(const std::wstring& path) {
    return _wrmdir(path.c_str()) == 0;
}

bool FileSystemCalls::removeFile(const std::wstring& path) {
    return _wremove(path.c_str()) == 0;
}

bool FileSystemCalls::rename(const std::wstring& from, const std::wstring& to) {
    return _wrename(from.c_str(), to.c_str()) == 0;
}

bool FileSystemCalls::removeTree(const std::wstring& path) {
    return krel_platform::removeTree(path);
}

bool FileSystemCalls::touchExisting(const std::wstring& path) {
    return _wutime64(path.c_str(), nullptr) == 0;
}

bool FileSystemCalls::createEmpty(const std::wstring& path) {
    krel_std::SmartFileHandle<FILE*> stream(path, L"a+");
    return stream.get() != nullptr;
}

std::vector<std::wstring> FileSystemCalls::list(const std::wstring& directory) {
    std::vector<std::wstring> names;
    const bool endsWithSeparator = !directory.empty() && directory.back() == L'/';
    const std::wstring pattern = directory + (endsWithSeparator ? L"*" : L"/*");
    struct _wfinddata64i32_t entry {};
    FindHandle search(_wfindfirst64i32(pattern.c_str(), &entry));
    if (!search.isValid()) {
        return names;
    }
    do {
        const std::wstring name(entry.name);
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (_wfindnext64i32(search.get(), &entry) == 0);
    return names;
}

std::vector<std::wstring> FileSystemCalls::listRoots() {
    std::vector<wchar_t> buffer(DRIVE_BUFFER);
    DWORD length = GetLogicalDriveStringsW(DRIVE_BUFFER, buffer.data());
    if (length > DRIVE_BUFFER) {
        buffer.resize(length);
        length = GetLogicalDriveStringsW(length, buffer.data());
    }
    if (length == 0) {
        const int error = ErrorUtils::getLastError();
        throwIOException(L"krel_std::File::listRoots", ErrorUtils::getErrorDescription(error),
                         error);
    }
    return splitEntries(buffer.data(), length);
}

std::wstring FileSystemCalls::getWorkingDirectory() {
    std::vector<wchar_t> buffer(WORKING_DIRECTORY_BUFFER);
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    // A working directory longer than the first buffer is read whole with a buffer of its size.
    while (length >= buffer.size()) {
        buffer.resize(length);
        length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0) {
        const int error = ErrorUtils::getLastError();
        throwIOException(L"krel_std::File::getWorkingDirectory",
                         ErrorUtils::getErrorDescription(error), error);
    }
    return std::wstring(buffer.data(), length);
}

std::wstring FileSystemCalls::getRootDirectory() {
    const std::wstring workingDirectory = getWorkingDirectory();
    if (workingDirectory.empty() || workingDirectory[0] != L'/') {
        throwIOException(L"krel_std::File::getRootDirectory",
                         L"Working directory string doesn't contain drive letter", 0);
    }
    return L"/";
}

void FileSystemCalls::setWorkingDirectory(const std::wstring& path) {
    if (!SetCurrentDirectoryW(path.c_str())) {
        throwIOException(L"krel_std::File::setWorkingDirectory",
                         L"Unable to set the working directory.", static_cast<int>(GetLastError()));
    }
}

std::wstring FileSystemCalls::getUserDirectory() {
    const std::wstring home = krel_std::KrelSystem::getInstance().getEnv(L"HOME");
    if (home.empty()) {
        throwIOException(L"krel_std::File::getUserDirectory",
                         L"Couldn't find the expected environment variable for user directory.", 0);
    }
    return home;
}

bool FileSystemCalls::hasInvalidCharacters(const std::wstring& element) {
    static const std::wstring& invalid = *new std::wstring(L"*?<>|\"");
    for (size_t index = 0; index < element.size(); ++index) {
        const wchar_t c = element[index];
        if (c < 32 || invalid.find(c) != std::wstring::npos || (c == L':' && index >= 2)) {
            return true;
        }
    }
    return false;
}

} // namespace krel_std_internal
