#include "file/FileSystemInfo.h"

#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"
#include "windows/FileSystemInfoImpl.h"

namespace krel_std {

FileSystemInfo::FileSystemInfo(const File& directory) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FileSystemInfo::FileSystemInfo", L"Begin. Directory <%ls>.",
                          directory.getPath().c_str());
    if (!directory.isDirectory()) {
        KrelIllegalArgumentException exception(
            L"Specified path does not exist or is not a directory: " +
            directory.getCanonicalPath());
        exception.logDebug(L"krel_std::FileSystemInfo::FileSystemInfo");
        throw exception;
    }
    impl.reset(new krel_std_internal::FileSystemInfoImpl(directory));
    impl->refresh();
}

FileSystemInfo::~FileSystemInfo() {}

std::wstring FileSystemInfo::toString() const {
    return L"FileSystemInfo{directory='" + getDirectory().getPath() + L"'}";
}

File FileSystemInfo::getDirectory() const {
    return impl->getDirectory();
}

uint64_t FileSystemInfo::getDiskSpace() const {
    return impl->getDiskSpace();
}

uint64_t FileSystemInfo::getDiskUsage() const {
    return impl->getDiskUsage();
}

void FileSystemInfo::refresh() {
    KREL_TRACE_SCOPE(L"krel_std::FileSystemInfo::refresh");
    impl->refresh();
}

} // namespace krel_std
