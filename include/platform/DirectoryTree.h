// Whole directory trees, walked by descriptor: every entry is reached by its name relative to
// the already opened directory that holds it, never by a path from the root, and symbolic links
// below the top are never followed. Another process that swaps a directory of the tree for a
// link while the walk runs cannot steer it out of the tree. Entry names are taken as the bytes
// the system gives, whatever their encoding.
#pragma once

#include <cstdint>
#include <string>

namespace krel_platform {

// Removes the path and, when it is a directory, everything below it; a symbolic link is removed
// as a link. Stops at the first entry that cannot be removed: false with the calling thread's
// last Windows error set (ERROR_FILE_NOT_FOUND for a missing path).
bool removeTree(const std::wstring& path);

// The bytes in the regular files at and below the path. The path itself is followed when it is
// a link (the directory a caller names is measured however it is reached); below it, links and
// anything else that is neither a file nor a directory count 0. What cannot be read counts 0.
uint64_t treeSize(const std::wstring& path);

} // namespace krel_platform
