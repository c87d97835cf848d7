// The older API's directory path: a path that names a directory, which it can test for and
// create with every missing parent. These two are the only path operations that touch the file
// system.
#pragma once

#include <string>

#include "file/SFilePath.h"

namespace KrelStd {

class SDirPath : public SFilePath {
public:
    // The empty path with the default separator.
    SDirPath();
    SDirPath(const SDirPath& other);
    SDirPath(const SFilePath& other);
    // The text with the default separator.
    SDirPath(const std::wstring& path);
    virtual ~SDirPath();

    SDirPath& operator=(const SDirPath& other);
    // Text (ANSI code page) and separator of SFilePath(path, DefaultSeparator).
    SDirPath& operator=(const char* path);

    // True when something (a directory or a file) exists at the path.
    bool Exists() const;
    // Creates the directory after its missing parents (found with this path's separator);
    // true when it exists afterwards. Stops at the first directory it cannot make and keeps
    // the parents made before.
    bool CreatePath();
};

} // namespace KrelStd
