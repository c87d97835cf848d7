// File, a validated path with text operations and the file-system calls on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Object.h"

namespace krel_std {

class IFileFilter;

// A path: a parsed, validated list of path elements, with text operations (joining, parent,
// name, absolute and canonical forms, equality) and file-system queries and operations that
// work on the canonical path.
//
// Text given by callers separates elements with '/' or '\'; paths are written with '/'. A
// leading separator, or a leading drive root ("C:\", "c:/"), is the root "/"; "C:" alone or
// later in a path is an ordinary name. An element may not hold '*', '?', '<', '>', '|', '"',
// a ':' after its second character or a control character, nor end in '.' or white space.
// The sum over the elements of (length + 1) may not exceed MAX_PATH_LENGTH.
//
// The file-system queries do not throw on an I/O failure: they trace it at DEBUG and answer
// false, 0 or an empty list. Construction and the static directory operations throw.
class File : public Object {
public:
    typedef std::vector<std::wstring> PathList;

    static const size_t MAX_PATH_LENGTH = 4096;

    // An empty path (no elements).
    File();
    // Throws KrelIllegalArgumentException for an invalid path.
    File(const std::wstring& path);
    // The elements of parent followed by those of child (a leading root of child dropped).
    File(const std::wstring& parent, const std::wstring& child);
    File(const File& parent, const std::wstring& child);
    File(const File& other);
    File& operator=(const File& other);
    ~File() override;

    // "File{path='" + getPath() + "'}".
    std::wstring toString() const override;

    // The same as File(*this, child).
    File operator+(const std::wstring& child) const;

    std::wstring getPath() const;
    bool isAbsolute() const;
    // The last element; for a single relative element the name of the absolute form; empty for
    // the empty path and the root.
    std::wstring getName() const;
    // All elements but the last; the root's parent is the root; "" for a single element.
    std::wstring getParent() const;
    File getParentFile() const;
    // The working directory followed by this path, unless the path is rooted.
    File getAbsoluteFile() const;
    std::wstring getAbsolutePath() const;
    // The absolute form with "." dropped and ".." folded, never above the root.
    std::wstring getCanonicalPath() const;
    File getCanonicalFile() const;
    bool isRootDirectory() const;

    // Equal canonical paths (compared exactly); the written paths when the working directory
    // cannot be read.
    bool operator==(const File& other) const;
    bool operator!=(const File& other) const;

    bool exists() const;
    bool isDirectory() const;
    bool isFile() const;
    bool isHidden() const;
    bool canRead() const;
    bool canWrite() const;
    // Milliseconds since 1970; 0 when the file's status cannot be read.
    uint64_t getCreationTime() const;
    uint64_t getLastModificationTime() const;
    uint64_t getLength() const;

    // The entry names of the directory ("." and ".." left out), in the order the system gives.
    std::vector<std::wstring> list() const;
    // One File per entry, this path followed by the entry's name.
    std::vector<File> listFiles() const;
    std::vector<File> listFiles(const IFileFilter& filter) const;

    // False for an existing path.
    bool mkdir() const;
    // Creates the missing directories of the canonical path, outermost first; false for an
    // existing path.
    bool mkdirs() const;
    // Fails when the destination exists.
    bool renameTo(const File& dest) const;
    // Removes a file, a symbolic link or an empty directory.
    bool remove() const;
    // Sets the times of an existing file to now, or creates an empty file; false for a
    // directory.
    bool touch() const;
    // Removes the whole tree below and including this path. Symbolic links are removed, never
    // followed.
    bool rmdirs() const;

    static File getWorkingDirectory();
    static File getRootDirectory();
    // The directory named by HOME.
    static File getUserDirectory();
    static void setWorkingDirectory(const File& dir);
    static std::vector<File> listRoots();
    // A single element: no separators, and valid as a path element.
    static void assertFilenameIsValid(const std::wstring& name);

protected:
    static bool isSeparator(wchar_t c);
    static bool isSeparator(const std::wstring& text);
    static PathList parsePath(const std::wstring& path);
    static void assertPathElementIsValid(const std::wstring& element);
    static void assertPathIsValid(const PathList& list);
    static std::wstring generatePathString(PathList::const_iterator first,
                                           PathList::const_iterator last);
    // Appends the elements of list, less a leading root.
    void appendPathElements(const PathList& list);
    // The elements of the absolute form of list.
    static PathList getAbsolutePathList(const PathList& list);
    void copy(const File& other);
    static bool recursiveRemove(const File& file);

private:
    // A File of a path that comes from the system (working directory, HOME): its elements are
    // checked for length only.
    static File fromSystemPath(const std::wstring& path);
    static void assertPathLengthIsValid(const PathList& list);
    static bool isRootElement(const std::wstring& element);
    // A File of the elements [first, last), checked for length only.
    static File fromElements(PathList::const_iterator first, PathList::const_iterator last);
    static PathList getCanonicalPathList(const PathList& absolute);
    // Removes this path itself: a symbolic link or file with _wremove, a directory with
    // _wrmdir.
    bool removeEntry(const std::wstring& canonicalPath) const;
    std::vector<File> makeChildren(const std::vector<std::wstring>& names) const;

    PathList pathList;

public:
    static constexpr const wchar_t* lineSeparator = L"\r\n";
};

} // namespace krel_std
