#include "windows/FileMonitorImpl.h"

#include "base/ErrorUtils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelUnknownException.h"
#include "file/FileMonitor.h"
#include "platform/WinBase.h"
#include "platform/WinSync.h"
#include "thread/Concurrency.h"

using KrelStd::CFileWatchdog;
using KrelStd::CWatchdogEvent;
using KrelStd::SWString;

namespace krel_std_internal {

namespace {

const long STOP_WAIT_MS = 150;
const long WITHOUT_LIMIT = -1;

const unsigned long ATTRIBUTE_EVENTS =
    CFileWatchdog::WD_ARCHIVE_CHANGED | CFileWatchdog::WD_COMPRESSED_CHANGED |
    CFileWatchdog::WD_READONLY_CHANGED | CFileWatchdog::WD_HIDDEN_CHANGED;

} // namespace

FileMonitorImpl::FileMonitorImpl(krel_std::FileMonitor& owner)
    : Thread(L"FileMonitorImpl"), owner(&owner), running(false), stopEvent(nullptr), threadId(0) {
    watchdog.SetFilter(ALL_EVENTS);
    stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (stopEvent == nullptr) {
        throw krel_std::KrelUnknownException(L"Could not create Stop Event",
                                             static_cast<int>(GetLastError()));
    }
}

FileMonitorImpl::~FileMonitorImpl() {
    setJoinOnDestruct(false);
    if (running) {
        // Only reached on the engine's own thread, or without a thread: nothing to wait for.
        stop(0);
    }
    CloseHandle(stopEvent);
}

void FileMonitorImpl::setDirectory(const krel_std::File& dir) {
    if (!dir.exists()) {
        throw krel_std::KrelIllegalArgumentException(L"Directory to monitor doesn't exist!");
    }
    const int result = watchdog.SetDirectory(SWString(dir.getPath() + L"/"));
    krel_std::ErrorUtils::isNotEqualEx(
        result, 0, L"krel_std_internal::FileMonitorImpl::setDirectory", L"directory");
    resumeWatching();
}

std::wstring FileMonitorImpl::getDirectory() {
    SWString directory;
    watchdog.GetDirectory(directory);
    return directory;
}

void FileMonitorImpl::addFile(const std::wstring& name) {
    const int result = watchdog.AddFileToList(SWString(name));
    krel_std::ErrorUtils::isNotEqualEx(result, 0, L"krel_std_internal::FileMonitorImpl::addFile",
                                       L"file");
    resumeWatching();
}

void FileMonitorImpl::removeFile(const std::wstring& name) {
    watchdog.RemoveFileFromList(SWString(name));
}

void FileMonitorImpl::clearFileList() {
    std::vector<KrelStd::CWatchdogFile> files;
    watchdog.GetFileList(files);
    for (const KrelStd::CWatchdogFile& file : files) {
        watchdog.RemoveFileFromList(file.GetName());
    }
}

void FileMonitorImpl::startMonitoring() {
    if (running) {
        return;
    }
    // A run that outlived the 150 ms of an earlier stop ends before a new one starts, so the
    // new run is never refused nor left without its watch.
    if (threadId.load() != Thread::getCurrentThreadId()) {
        join(WITHOUT_LIMIT);
    }
    // A watchdog that cannot watch yet starts when a file or directory is added.
    watchdog.StartWatching();
    running = true;
    // A stop that an earlier thread left untaken must not end the new one.
    ResetEvent(stopEvent);
    try {
        start();
    } catch (...) {
        running = false;
        throw;
    }
}

void FileMonitorImpl::stopMonitoring() {
    if (running) {
        stop(STOP_WAIT_MS);
    }
}

void FileMonitorImpl::close() {
    if (running) {
        stop(WITHOUT_LIMIT);
    }
    // A thread that outlived the 150 ms of an earlier stop may still be calling the owner.
    if (threadId.load() != Thread::getCurrentThreadId()) {
        join(WITHOUT_LIMIT);
    }
    owner = nullptr;
}

void FileMonitorImpl::stop(long ms) {
    SetEvent(stopEvent);
    if (ms != 0 && threadId.load() != Thread::getCurrentThreadId()) {
        krel_std::Concurrency::waitForSingleObject(*this, ms);
    }
    // Asking a watchdog that is not watching to stop would shut its thread down for good.
    if (watchdog.GetWatchingFlag()) {
        watchdog.StopWatching();
    }
    running = false;
}

void FileMonitorImpl::resumeWatching() {
    if (running && !watchdog.GetWatchingFlag()) {
        watchdog.StartWatching();
    }
}

void FileMonitorImpl::run() {
    const boost::shared_ptr<FileMonitorImpl> keepAlive = shared_from_this();
    threadId = Thread::getCurrentThreadId();
    const HANDLE handles[2] = {watchdog.GetEventsAvailableHandle(), stopEvent};
    while (running) {
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
            running = false;
            break;
        }
        try {
            drainEvents();
        } catch (...) {
            running = false;
            threadId = 0;
            throw;
        }
    }
    threadId = 0;
}

void FileMonitorImpl::drainEvents() {
    const std::wstring directory = getDirectory();
    CWatchdogEvent event;
    // The owner is gone once one of its listeners destroyed it on this thread.
    while (owner != nullptr && watchdog.GetFileEvent(event) == CFileWatchdog::WD_SUCCESS) {
        const unsigned long flags = event.GetFlags();
        const std::wstring& name = event.GetFileName();
        if ((flags & ATTRIBUTE_EVENTS) != 0) {
            owner->notifyFileAttributeChange(directory, name);
        } else if ((flags & CFileWatchdog::WD_LAST_WRITE_CHANGED) != 0) {
            owner->notifyFileLastWriteTimeChange(directory, name);
        } else if ((flags & CFileWatchdog::WD_SIZE_CHANGED) != 0) {
            owner->notifyFileSizeChange(directory, name);
        } else if ((flags & CFileWatchdog::WD_FILE_CREATED) != 0) {
            owner->notifyFileCreated(directory, name);
        } else if ((flags & CFileWatchdog::WD_FILE_DELETED) != 0) {
            owner->notifyFileDeleted(directory, name);
        }
    }
}

} // namespace krel_std_internal
