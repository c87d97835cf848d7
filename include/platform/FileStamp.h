// What identifies one state of a file, for finding out whether it changed.
#pragma once

#include <cstdint>
#include <string>

namespace krel_platform {

// The status of a file as _wstat64 reads it, with the modification time at full resolution and
// the identity of the file (device and inode), so a rewrite of the same size within one second
// and a replacement by rename both show as a change.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modificationSeconds = 0;
    int64_t modificationNanoseconds = 0;
    // The file type and permission bits, as _wstat64 gives them.
    unsigned short mode = 0;

    // Size, modification time or identity differ: the content may have changed.
    bool contentDiffers(const FileStamp& other) const {
        return size != other.size || modificationSeconds != other.modificationSeconds ||
               modificationNanoseconds != other.modificationNanoseconds || inode != other.inode ||
               device != other.device;
    }
    bool modeDiffers(const FileStamp& other) const { return mode != other.mode; }
};

// Reads the stamp of the file at the path (a symbolic link is followed); false with errno set
// when the file cannot be reached.
bool readFileStamp(const std::wstring& path, FileStamp& stamp);
// The same for a path already in the native form that nativePath gives, for callers that read
// the stamp of one file often.
bool readFileStamp(const std::string& nativePath, FileStamp& stamp);

} // namespace krel_platform
