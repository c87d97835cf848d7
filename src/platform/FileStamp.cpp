#include "platform/FileStamp.h"

#include <sys/stat.h>

#include "platform/NativePath.h"

namespace krel_platform {

bool readFileStamp(const std::wstring& path, FileStamp& stamp) {
    return readFileStamp(nativePath(path), stamp);
}

bool readFileStamp(const std::string& nativePath, FileStamp& stamp) {
    struct stat status;
    if (stat(nativePath.c_str(), &status) != 0) {
        return false;
    }
    stamp.device = status.st_dev;
    stamp.inode = status.st_ino;
    stamp.size = status.st_size;
    stamp.modificationSeconds = status.st_mtim.tv_sec;
    stamp.modificationNanoseconds = status.st_mtim.tv_nsec;
    stamp.mode = static_cast<unsigned short>((status.st_mode & S_IFMT) | (status.st_mode & 07777));
    return true;
}

} // namespace krel_platform
