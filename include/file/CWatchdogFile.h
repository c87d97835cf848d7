// The older API's record of the state of one file that a CFileWatchdog watches.
#pragma once

#include <cstdint>

#include "base/SWString.h"
#include "platform/WinTypes.h"

namespace KrelStd {

// The state of one file that a CFileWatchdog watches, as it was when the record was made.
class CWatchdogFile {
public:
    // A record of no file: empty name and path, not existing.
    CWatchdogFile();
    // Reads the file's current state. The path is the directory text followed by the name; an
    // empty directory text stands for the working directory. An empty name, or a file that
    // cannot be read, gives a record that does not exist.
    CWatchdogFile(const SWString& directory, const SWString& name);

    bool Exists() const { return exists; }
    const SWString& GetName() const { return name; }
    const SWString& GetPath() const { return path; }
    uint64_t GetSize() const { return size; }
    bool IsReadOnly() const { return readOnly != 0; }
    bool IsHidden() const { return hidden != 0; }
    bool IsArchive() const { return archive != 0; }
    bool IsCompressed() const { return compressed != 0; }
    const FILETIME& GetCreationTime() const { return creationTime; }
    const FILETIME& GetLastWriteTime() const { return lastWriteTime; }

private:
    void ReadState();

    bool exists;
    SWString name;
    SWString path;
    uint64_t size;
    unsigned char readOnly;
    unsigned char hidden;
    unsigned char archive;
    unsigned char compressed;
    FILETIME creationTime;
    FILETIME lastWriteTime;
};

} // namespace KrelStd
