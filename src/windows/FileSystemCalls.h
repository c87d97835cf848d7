#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace krel_std_internal {

// The Windows-side calls behind krel_std::File. Each takes a path text (normally a canonical
// path) and makes one call of the C runtime or the Windows API stand-in. The queries answer
// false or 0 on failure; the operations that change the disk answer false; the directory
// operations marked so throw KrelIOException.
class FileSystemCalls {
public:
    static bool exists(const std::wstring& path);
    static bool isDirectory(const std::wstring& path);
    static bool isFile(const std::wstring& path);
    static bool isHidden(const std::wstring& path);
    // A symbolic link (dangling or not).
    static bool isSymbolicLink(const std::wstring& path);
    static bool canRead(const std::wstring& path);
    static bool canWrite(const std::wstring& path);
    static uint64_t getCreationTime(const std::wstring& path);
    static uint64_t getLastModificationTime(const std::wstring& path);
    static uint64_t getLength(const std::wstring& path);
    // The bytes in the regular files at and below the path; links below it count 0.
    static uint64_t getTreeSize(const std::wstring& path);

    static bool makeDirectory(const std::wstring& path);
    static bool removeDirectory(const std::wstring& path);
    static bool removeFile(const std::wstring& path);
    static bool rename(const std::wstring& from, const std::wstring& to);
    // Removes a file, a link, or a directory with everything below it, never following a
    // link; stops at the first entry that cannot be removed.
    static bool removeTree(const std::wstring& path);
    // Sets the times of an existing file to now.
    static bool touchExisting(const std::wstring& path);
    // Creates an empty file (an existing one keeps its content).
    static bool createEmpty(const std::wstring& path);

    // Entry names of a directory, "." and ".." left out; empty when it cannot be read.
    static std::vector<std::wstring> list(const std::wstring& directory);

    // Throw KrelIOException on failure.
    static std::vector<std::wstring> listRoots();
    static std::wstring getWorkingDirectory();
    static std::wstring getRootDirectory();
    static void setWorkingDirectory(const std::wstring& path);
    static std::wstring getUserDirectory();

    // The invalid-character test of a path element given by a caller.
    static bool hasInvalidCharacters(const std::wstring& element);

private:
    FileSystemCalls();
};

} // namespace krel_std_internal
