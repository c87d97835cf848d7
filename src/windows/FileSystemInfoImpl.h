#pragma once

#include <atomic>
#include <cstdint>

#include "file/File.h"

namespace krel_std_internal {

// The Windows side of FileSystemInfo: a directory, the free space of its volume and the bytes
// used below it, both as of the last refresh (0 before). A reader on another thread sees the
// old or the new value of each count.
class FileSystemInfoImpl {
public:
    explicit FileSystemInfoImpl(const krel_std::File& directory);
    FileSystemInfoImpl(const FileSystemInfoImpl& other);
    FileSystemInfoImpl& operator=(const FileSystemInfoImpl& other);
    virtual ~FileSystemInfoImpl();

    krel_std::File getDirectory() const;
    uint64_t getDiskSpace() const;
    uint64_t getDiskUsage() const;
    // Reads the free bytes of the volume (KrelIOException "Unable to get disk free space: ..."
    // on failure, the counts unchanged), then the usage.
    void refresh();

private:
    krel_std::File directory;
    std::atomic<uint64_t> diskSpace;
    std::atomic<uint64_t> diskUsage;
};

} // namespace krel_std_internal
