#include "windows/FileSystemInfoImpl.h"

#include "base/ErrorUtils.h"
#include "exception/KrelIOException.h"
#include "platform/WinFile.h"
#include "windows/FileSystemCalls.h"

using krel_std::File;

namespace krel_std_internal {

FileSystemInfoImpl::FileSystemInfoImpl(const File& directory)
    : directory(directory), diskSpace(0), diskUsage(0) {}

FileSystemInfoImpl::FileSystemInfoImpl(const FileSystemInfoImpl& other)
    : directory(other.directory), diskSpace(other.diskSpace.load()),
      diskUsage(other.diskUsage.load()) {}

FileSystemInfoImpl& FileSystemInfoImpl::operator=(const FileSystemInfoImpl& other) {
    if (this != &other) {
        directory = other.directory;
        diskSpace = other.diskSpace.load();
        diskUsage = other.diskUsage.load();
    }
    return *this;
}

FileSystemInfoImpl::~FileSystemInfoImpl() {}

File FileSystemInfoImpl::getDirectory() const {
    return directory;
}

uint64_t FileSystemInfoImpl::getDiskSpace() const {
    return diskSpace;
}

uint64_t FileSystemInfoImpl::getDiskUsage() const {
    return diskUsage;
}

void FileSystemInfoImpl::refresh() {
    const File canonical = directory.getCanonicalFile();
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExW(canonical.getPath().c_str(), nullptr, nullptr, &freeBytes)) {
        krel_std::KrelIOException exception(L"Unable to get disk free space: " +
                                            krel_std::ErrorUtils::getLastErrorDescription());
        exception.logDebug(L"krel_std_internal::FileSystemInfoImpl::refresh");
        throw exception;
    }
    diskSpace = freeBytes.QuadPart;
    diskUsage = FileSystemCalls::getTreeSize(canonical.getPath());
}

} // namespace krel_std_internal
