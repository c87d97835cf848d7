// FileMonitor, which watches named files of one directory on a thread of its own.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "base/Object.h"
#include "file/File.h"
#include "file/FileEventListener.h"
#include "thread/Lock.h"

namespace krel_std_internal {
class FileMonitorImpl;
} // namespace krel_std_internal

namespace krel_std {

// Watches named files of one directory and tells its listeners when one is deleted, created,
// or changes in attributes, size or last write time. A thread of the monitor turns each change
// into one listener call.
//
// Every public operation but toString takes the monitor's lock. Listeners are called without
// it, so a listener may call back into the monitor. A listener that throws is removed and the
// others still get the event.
class FileMonitor : public Object {
public:
    FileMonitor();
    // Throws as setDirectory.
    explicit FileMonitor(const File& directory);
    FileMonitor(const FileMonitor&) = delete;
    FileMonitor& operator=(const FileMonitor&) = delete;
    // Stops monitoring and waits for the monitor's thread to end, unless called on it.
    ~FileMonitor() override;

    // "FileMonitor{}".
    std::wstring toString() const override;

    // Throws KrelIllegalArgumentException "Directory to monitor doesn't exist!" for a missing
    // directory, and the failed argument check for "directory" when it cannot be watched.
    void setDirectory(const File& directory);
    // The watched directory's path followed by '/', or empty.
    std::wstring getDirectory() const;

    // Throws KrelIllegalArgumentException for an empty name or one that is not a plain file
    // name, and the failed check for "file" when no directory is set. A name already listed is
    // accepted.
    void addFile(const std::wstring& filename);
    void removeFile(const std::wstring& filename);
    void clearFileList();

    // Starts the monitor's thread; a second call does nothing. A monitor started before it
    // has files starts watching when the first file is added.
    void startMonitoring();
    // Stops the thread, waiting for it at most 150 ms; does nothing when not monitoring.
    void stopMonitoring();

    // Adds the listener unless it is already present.
    void addListener(const boost::shared_ptr<FileEventListener>& listener);
    void removeListener(const boost::shared_ptr<FileEventListener>& listener);

protected:
    friend class krel_std_internal::FileMonitorImpl;

    // Called on the monitor's thread with the directory text and the file name.
    void notifyFileDeleted(const std::wstring& directory, const std::wstring& fileName);
    void notifyFileCreated(const std::wstring& directory, const std::wstring& fileName);
    void notifyFileAttributeChange(const std::wstring& directory, const std::wstring& fileName);
    void notifyFileSizeChange(const std::wstring& directory, const std::wstring& fileName);
    void notifyFileLastWriteTimeChange(const std::wstring& directory, const std::wstring& fileName);

private:
    typedef std::vector<boost::shared_ptr<FileEventListener>> ListenerList;
    typedef void (FileEventListener::*Handler)(const std::wstring&, const std::wstring&);

    // Calls the handler of each listener of a copy of the list, removing those that throw.
    void notify(Handler handler, const std::wstring& directory, const std::wstring& fileName);

    boost::shared_ptr<krel_std_internal::FileMonitorImpl> impl;
    ListenerList listeners;
    mutable Lock lock;
};

} // namespace krel_std
