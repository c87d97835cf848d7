// FileComparator, which orders Files by their canonical paths.
#pragma once

namespace krel_std {

class File;

// Orders Files by their canonical paths (compared exactly, as the file system compares names),
// so that two spellings of one path ("." and "..", '/' or '\') are one key of an ordered map.
// When a canonical path cannot be made it traces the failure at DEBUG and orders by the
// written paths.
class FileComparator {
public:
    bool operator()(const File& first, const File& second) const;
};

} // namespace krel_std
