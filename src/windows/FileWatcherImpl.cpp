#include "windows/FileWatcherImpl.h"

#include <algorithm>
#include <tuple>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelUnknownException.h"
#include "internal/GuardedCall.h"
#include "platform/WinBase.h"
#include "platform/WinChangeNotify.h"
#include "platform/WinSync.h"
#include "thread/AutoLock.h"

using krel_std::AutoLock;
using krel_std::File;
using krel_std::IFileListener;
using krel_std::Lock;

namespace krel_std_internal {

namespace {

const wchar_t* const RUN = L"krel_std_internal::FileWatcherImpl::run";
const wchar_t* const UPDATE = L"krel_std_internal::FileWatcherImpl::updateAndNotifyDirectory";

// File and directory names, attributes, size, last write and security.
const DWORD NOTIFY_FILTER = 0x11F;

// How often a directory that went away is looked for while nothing else wakes the thread.
const DWORD LOST_DIRECTORY_RETRY_MS = 250;

// Indexes of the wait list.
const DWORD UPDATE_INDEX = 0;
const DWORD ACTIVITY_INDEX = 1;
const DWORD WAIT_COUNT = 3;

unsigned int handleValue(HANDLE handle) {
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(handle));
}

bool isValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

FileWatcherImpl::DirectoryInfo::DirectoryInfo(const File& directory, HANDLE handle)
    : directory(directory), handle(handle), lost(false) {}

FileWatcherImpl::DirectoryInfo::~DirectoryInfo() {
    if (isValid(handle)) {
        FindCloseChangeNotification(handle);
    }
}

FileWatcherImpl::FileWatcherImpl()
    : Thread(L"krel_std::FileWatcherImpl"), shutdownEvent(nullptr), updateEvent(nullptr),
      changeActivity(nullptr), calling(nullptr), watcherThreadId(0) {
    shutdownEvent = createEvent(true, L"Could not create Shutdown Event");
    try {
        updateEvent = createEvent(false, L"Could not create Update Event");
        changeActivity = krel_platform::createChangeActivityHandle();
        if (changeActivity == nullptr) {
            throw krel_std::KrelUnknownException(L"Could not create Change Activity Event",
                                                 static_cast<int>(GetLastError()));
        }
    } catch (...) {
        closeHandles(shutdownEvent, updateEvent, nullptr);
        throw;
    }
}

FileWatcherImpl::~FileWatcherImpl() {
    SetEvent(shutdownEvent);
    if (getState() == RUNNING && watcherThreadId.load() != Thread::getCurrentThreadId()) {
        join(-1);
    }
    closeHandles(shutdownEvent, updateEvent, changeActivity);
}

HANDLE FileWatcherImpl::createEvent(bool manualReset, const wchar_t* failure) {
    HANDLE event = CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
    if (event == nullptr) {
        throw krel_std::KrelUnknownException(failure, static_cast<int>(GetLastError()));
    }
    return event;
}

void FileWatcherImpl::closeHandles(HANDLE first, HANDLE second, HANDLE third) {
    for (HANDLE handle : {first, second, third}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
}

std::wstring FileWatcherImpl::keyOf(const File& file) {
    try {
        return file.getCanonicalPath();
    } catch (const krel_std::KrelIOException& e) {
        KREL_INTERNAL_DEBUG(L"krel_std_internal::FileWatcherImpl::keyOf",
                            L"Could not get canonical path: '%ls'", e.getMessage().c_str());
        return file.getPath();
    }
}

void FileWatcherImpl::addListener(const boost::shared_ptr<IFileListener>& listener,
                                  const File& file) {
    AutoLock<Lock> guard(lock);
    if (!listener) {
        return;
    }
    const std::wstring fileKey = keyOf(file);
    const File parent = File(fileKey).getParentFile();
    const std::wstring directoryKey = keyOf(parent);
    auto directory = directories.find(directoryKey);
    if (directory == directories.end()) {
        HANDLE handle = FindFirstChangeNotificationW(directoryKey.c_str(), FALSE, NOTIFY_FILTER);
        if (!isValid(handle)) {
            const DWORD error = GetLastError();
            KREL_INTERNAL_DEBUG(
                L"krel_std_internal::FileWatcherImpl::addListener",
                L"Error creating monitor event for directory <%ls> : '%ls'",
                parent.getPath().c_str(),
                krel_std::ErrorUtils::getWindowsErrorDescription(static_cast<int>(error)).c_str());
            throw krel_std::KrelIOException(L"Could not monitor directory",
                                            static_cast<int>(error));
        }
        directory = directories
                        .emplace(std::piecewise_construct, std::forward_as_tuple(directoryKey),
                                 std::forward_as_tuple(parent, handle))
                        .first;
    }
    auto entry = directory->second.files.find(fileKey);
    if (entry == directory->second.files.end()) {
        FileInfo info{file, ListenerList(), false, krel_platform::FileStamp()};
        info.exists = krel_platform::readFileStamp(fileKey, info.stamp);
        entry = directory->second.files.emplace(fileKey, info).first;
    }
    ListenerList& listeners = entry->second.listeners;
    if (std::find(listeners.begin(), listeners.end(), listener) == listeners.end()) {
        listeners.push_back(listener);
    }
    SetEvent(updateEvent);
}

void FileWatcherImpl::removeListener(const boost::shared_ptr<IFileListener>& listener) {
    {
        AutoLock<Lock> guard(lock);
        for (auto& directory : directories) {
            for (auto& file : directory.second.files) {
                ListenerList& listeners = file.second.listeners;
                listeners.erase(std::remove(listeners.begin(), listeners.end(), listener),
                                listeners.end());
            }
        }
        SetEvent(updateEvent);
    }
    waitForCallsTo(listener.get());
}

void FileWatcherImpl::removeListener(const boost::shared_ptr<IFileListener>& listener,
                                     const File& file) {
    {
        AutoLock<Lock> guard(lock);
        const std::wstring fileKey = keyOf(file);
        auto directory = directories.find(keyOf(File(fileKey).getParentFile()));
        if (directory != directories.end()) {
            auto entry = directory->second.files.find(fileKey);
            if (entry != directory->second.files.end()) {
                ListenerList& listeners = entry->second.listeners;
                listeners.erase(std::remove(listeners.begin(), listeners.end(), listener),
                                listeners.end());
                SetEvent(updateEvent);
            }
        }
    }
    waitForCallsTo(listener.get());
}

void FileWatcherImpl::run() {
    KREL_TRACE_SCOPE(RUN);
    watcherThreadId.store(Thread::getCurrentThreadId());
    const HANDLE handles[WAIT_COUNT] = {updateEvent, changeActivity, shutdownEvent};
    for (;;) {
        KREL_INTERNAL_TRACE(RUN, L"Top of the loop, waiting for event");
        const DWORD timeout = hasLostDirectories() ? LOST_DIRECTORY_RETRY_MS : INFINITE;
        const DWORD result = WaitForMultipleObjects(WAIT_COUNT, handles, FALSE, timeout);
        KREL_INTERNAL_TRACE(RUN, L"Wait result: %d", static_cast<int>(result));
        if (result == WAIT_OBJECT_0 + UPDATE_INDEX) {
            KREL_INTERNAL_DEBUG(RUN, L"Update signaled, cleaning directories");
            cleanDirectories();
            KREL_INTERNAL_TRACE(RUN, L"Updating event list");
        } else if (result != WAIT_TIMEOUT && result != WAIT_OBJECT_0 + ACTIVITY_INDEX) {
            KREL_INTERNAL_DEBUG(RUN, L"WaitForMultipleObjects returned %d.  Shutting down.",
                                static_cast<int>(result));
            return;
        }
        processChangedDirectories();
    }
}

void FileWatcherImpl::cleanDirectories() {
    KREL_TRACE_SCOPE(L"krel_std_internal::FileWatcherImpl::cleanDirectories");
    AutoLock<Lock> guard(lock);
    for (auto directory = directories.begin(); directory != directories.end();) {
        auto& files = directory->second.files;
        for (auto file = files.begin(); file != files.end();) {
            if (!file->second.listeners.empty()) {
                ++file;
                continue;
            }
            KREL_INTERNAL_DEBUG(L"krel_std_internal::FileWatcherImpl::cleanDirectories",
                                L"Subscriber list for file <%ls> is empty; removing.",
                                file->second.file.getPath().c_str());
            file = files.erase(file);
        }
        if (!files.empty()) {
            ++directory;
            continue;
        }
        KREL_INTERNAL_DEBUG(L"krel_std_internal::FileWatcherImpl::cleanDirectories",
                            L"File list for directory <%ls> is empty; removing.",
                            directory->second.directory.getPath().c_str());
        directory = directories.erase(directory);
    }
}

// A notification stays signalled until it is drained, so a wait of 0 ms tells which ones
// changed; the handles are collected first, as listeners called meanwhile may change the map.
void FileWatcherImpl::processChangedDirectories() {
    std::vector<HANDLE> changed;
    {
        AutoLock<Lock> guard(lock);
        for (const auto& directory : directories) {
            HANDLE handle = directory.second.handle;
            if (directory.second.lost || WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) {
                changed.push_back(handle);
            }
        }
    }
    for (HANDLE handle : changed) {
        KREL_INTERNAL_DEBUG(RUN, L"Event handle signaled, processing changes for handle <0x%x>",
                            handleValue(handle));
        updateAndNotifyDirectory(handle);
    }
}

bool FileWatcherImpl::hasLostDirectories() {
    AutoLock<Lock> guard(lock);
    for (const auto& directory : directories) {
        if (directory.second.lost) {
            return true;
        }
    }
    return false;
}

void FileWatcherImpl::updateAndNotifyDirectory(HANDLE handle) {
    KREL_TRACE_SCOPE(UPDATE);
    std::vector<Change> changes;
    {
        AutoLock<Lock> guard(lock);
        auto directory = directories.begin();
        while (directory != directories.end() && directory->second.handle != handle) {
            ++directory;
        }
        if (directory == directories.end()) {
            KREL_INTERNAL_DEBUG(UPDATE,
                                L"The specified directory <0x%x> is no longer being monitored.",
                                handleValue(handle));
            return;
        }
        // Drained before the files are read: a change made while they are read signals the
        // notification again.
        const BOOL rearmed = FindNextChangeNotification(handle);
        KREL_INTERNAL_TRACE(UPDATE, L"FindNextChangeNotification returned %d",
                            static_cast<int>(rearmed));
        directory->second.lost = rearmed == FALSE;
        findChanges(directory->first, directory->second, changes);
    }
    for (const Change& change : changes) {
        KREL_INTERNAL_TRACE(UPDATE, L"Notifying listeners.");
        notifyListeners(change);
    }
}

void FileWatcherImpl::findChanges(const std::wstring& directoryKey, DirectoryInfo& directory,
                                  std::vector<Change>& changes) {
    for (auto& entry : directory.files) {
        FileInfo& info = entry.second;
        krel_platform::FileStamp now;
        const bool exists = krel_platform::readFileStamp(entry.first, now);
        std::vector<Handler> handlers;
        if (!info.exists && exists) {
            handlers.push_back(&IFileListener::onFileCreated);
        } else if (info.exists && !exists) {
            handlers.push_back(&IFileListener::onFileDeleted);
        } else if (exists) {
            if (now.contentDiffers(info.stamp)) {
                handlers.push_back(&IFileListener::onFileContentChange);
            }
            if (now.modeDiffers(info.stamp)) {
                handlers.push_back(&IFileListener::onFileModeChange);
            }
        }
        info.exists = exists;
        if (exists) {
            info.stamp = now;
        }
        for (Handler handler : handlers) {
            changes.push_back(
                Change{directoryKey, entry.first, info.file, info.listeners, handler});
        }
    }
}

void FileWatcherImpl::notifyListeners(const Change& change) {
    for (const auto& listener : change.listeners) {
        if (!beginCall(change, listener.get())) {
            continue;
        }
        CallScope scope(*this);
        callGuarded(*listener, change.handler, change.file);
    }
}

bool FileWatcherImpl::beginCall(const Change& change, const IFileListener* listener) {
    AutoLock<Lock> guard(lock);
    auto directory = directories.find(change.directoryKey);
    if (directory == directories.end()) {
        return false;
    }
    auto entry = directory->second.files.find(change.fileKey);
    if (entry == directory->second.files.end()) {
        return false;
    }
    const ListenerList& listeners = entry->second.listeners;
    auto found = std::find_if(listeners.begin(), listeners.end(),
                              [listener](const boost::shared_ptr<IFileListener>& registered) {
                                  return registered.get() == listener;
                              });
    if (found == listeners.end()) {
        return false;
    }
    std::lock_guard<std::mutex> callGuard(callMutex);
    calling = listener;
    return true;
}

void FileWatcherImpl::endCall() {
    std::lock_guard<std::mutex> callGuard(callMutex);
    calling = nullptr;
    callEnded.notify_all();
}

void FileWatcherImpl::waitForCallsTo(const IFileListener* listener) {
    if (listener == nullptr || watcherThreadId.load() == Thread::getCurrentThreadId()) {
        return;
    }
    std::unique_lock<std::mutex> callGuard(callMutex);
    callEnded.wait(callGuard, [this, listener] { return calling != listener; });
}

// A listener's exception is traced and goes no further: the thread serves every other
// listener, and this one stays registered.
void FileWatcherImpl::callGuarded(IFileListener& listener, Handler handler, const File& file) {
    krel_std_internal::callGuarded(
        L"krel_std_internal::FileWatcherImpl::notifyListeners",
        [&file] { return L"Listener for <" + file.getPath() + L">"; },
        [&] { (listener.*handler)(file); });
}

} // namespace krel_std_internal
