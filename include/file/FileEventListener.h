// FileEventListener, told by a FileMonitor when one of its files changes.
#pragma once

#include <string>

namespace krel_std {

// Told by a FileMonitor when one of its files is deleted, created, or changes in attributes,
// size or last write time. Each call gets the monitored directory text (ending in '/') and the
// file's name, on the monitor's thread, one event at a time.
class FileEventListener {
public:
    virtual ~FileEventListener() {}

    virtual void onFileDeleted(const std::wstring& directory, const std::wstring& fileName) = 0;
    virtual void onFileCreated(const std::wstring& directory, const std::wstring& fileName) = 0;
    virtual void onFileAttributeChange(const std::wstring& directory,
                                       const std::wstring& fileName) = 0;
    virtual void onFileSizeChange(const std::wstring& directory, const std::wstring& fileName) = 0;
    virtual void onFileLastWriteTimeChange(const std::wstring& directory,
                                           const std::wstring& fileName) = 0;
};

} // namespace krel_std
