// FileSystemInfo, the free space of a directory's volume and the bytes used below it.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>

#include "base/Object.h"
#include "file/File.h"

namespace krel_std_internal {
class FileSystemInfoImpl;
} // namespace krel_std_internal

namespace krel_std {

// The free space of the volume that holds a directory and the bytes used below the directory,
// as of the last refresh.
class FileSystemInfo : public Object, private boost::noncopyable {
public:
    // Throws KrelIllegalArgumentException when the path is not a directory; otherwise reads
    // both numbers (see refresh).
    explicit FileSystemInfo(const File& directory);
    ~FileSystemInfo() override;

    // "FileSystemInfo{directory='" + the directory's path + "'}".
    std::wstring toString() const override;

    File getDirectory() const;
    // Free bytes of the volume (all of them, not the caller's quota).
    uint64_t getDiskSpace() const;
    // Bytes in the files below the directory; symbolic links count 0 and are not followed.
    uint64_t getDiskUsage() const;
    // Re-reads both numbers; KrelIOException when the free space cannot be read.
    void refresh();

private:
    boost::shared_ptr<krel_std_internal::FileSystemInfoImpl> impl;
};

} // namespace krel_std
