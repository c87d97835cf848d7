#include "file/CFileWatchdog.h"

#include <algorithm>

#include "platform/WinBase.h"
#include "platform/WinChangeNotify.h"
#include "platform/WinFile.h"

namespace KrelStd {

namespace {

const DWORD START_ACKNOWLEDGE_MS = 5000;
const DWORD STOP_ACKNOWLEDGE_MS = 150;
// Lets a burst of writes settle before the files are compared.
const DWORD SETTLE_MS = 50;
const size_t MAX_DIRECTORY_LENGTH = 260;

const DWORD ATTRIBUTE_FLAGS = CFileWatchdog::WD_ARCHIVE_CHANGED |
                              CFileWatchdog::WD_COMPRESSED_CHANGED |
                              CFileWatchdog::WD_READONLY_CHANGED | CFileWatchdog::WD_HIDDEN_CHANGED;
const DWORD NAME_FLAGS = CFileWatchdog::WD_FILE_CREATED | CFileWatchdog::WD_FILE_DELETED;
// The bits of the filter word that are change-notification flags.
const DWORD NOTIFY_BITS = 0xFFFF;

bool sameTime(const FILETIME& left, const FILETIME& right) {
    return left.dwLowDateTime == right.dwLowDateTime && left.dwHighDateTime == right.dwHighDateTime;
}

HANDLE createManualResetEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void closeIfSet(HANDLE handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
    }
}

} // namespace

CFileWatchdog::CFileWatchdog()
    : eventsAvailable(nullptr), shutdownFlag(false), shutdownEvent(nullptr), stopEvent(nullptr),
      startEvent(nullptr), hasThread(false), thread(), threadId(0), initFlag(false),
      maxListSize(DEFAULT_MAX_LIST_SIZE), watchingFlag(false), acknowledgeEvent(nullptr), filter(0),
      thrownAwayFlag(false) {
    CreateObjects();
}

CFileWatchdog::CFileWatchdog(const CFileWatchdog& other) : CFileWatchdog() {
    Guard guard(other.section);
    directory = other.directory;
    filter = other.filter;
    maxListSize = other.maxListSize;
    fileList = other.fileList;
}

CFileWatchdog::~CFileWatchdog() {
    if (hasThread) {
        ShutDown();
        pthread_join(thread, nullptr);
    }
    for (HANDLE handle :
         {eventsAvailable, shutdownEvent, stopEvent, startEvent, acknowledgeEvent}) {
        closeIfSet(handle);
    }
    DeleteCriticalSection(&section);
}

void CFileWatchdog::CreateObjects() {
    InitializeCriticalSection(&section);
    eventsAvailable = createManualResetEvent();
    shutdownEvent = createManualResetEvent();
    stopEvent = createManualResetEvent();
    startEvent = createManualResetEvent();
    acknowledgeEvent = createManualResetEvent();
}

int CFileWatchdog::SetDirectory(const SWString& dir) {
    if (dir.empty() || dir.size() >= MAX_DIRECTORY_LENGTH) {
        return WD_INVALID_DIRECTORY;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(dir.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return WD_INVALID_DIRECTORY;
    }
    Guard guard(section);
    directory = dir;
    return WD_SUCCESS;
}

void CFileWatchdog::GetDirectory(SWString& out) {
    Guard guard(section);
    out = directory;
}

void CFileWatchdog::SetFilter(unsigned long newFilter) {
    DWORD value = static_cast<DWORD>(newFilter);
    if ((value & ATTRIBUTE_FLAGS) != 0) {
        value |= FILE_NOTIFY_CHANGE_ATTRIBUTES;
    }
    if ((value & NAME_FLAGS) != 0) {
        value |= FILE_NOTIFY_CHANGE_FILE_NAME;
    }
    if (value == GetFilter()) {
        return;
    }
    if (GetWatchingFlag()) {
        StopWatching();
        {
            Guard guard(section);
            filter = value;
        }
        StartWatching();
        return;
    }
    Guard guard(section);
    filter = value;
}

unsigned long CFileWatchdog::GetFilter() {
    Guard guard(section);
    return filter;
}

int CFileWatchdog::AddFileToList(const SWString& name) {
    if (name.empty()) {
        return WD_EMPTY_FILE_NAME;
    }
    SWString dir;
    {
        Guard guard(section);
        if (directory.empty()) {
            return WD_NO_DIRECTORY;
        }
        dir = directory;
    }
    // The file's state is read outside the lock; the name is checked again when adding.
    CWatchdogFile record(dir, name);
    Guard guard(section);
    const bool listed =
        std::any_of(fileList.begin(), fileList.end(),
                    [&](const CWatchdogFile& file) { return file.GetName() == name; });
    if (!listed) {
        fileList.push_back(record);
    }
    return WD_SUCCESS;
}

int CFileWatchdog::RemoveFileFromList(const SWString& name) {
    if (name.empty()) {
        return WD_EMPTY_FILE_NAME;
    }
    Guard guard(section);
    if (directory.empty()) {
        return WD_SUCCESS;
    }
    auto found = std::find_if(fileList.begin(), fileList.end(),
                              [&](const CWatchdogFile& file) { return file.GetName() == name; });
    if (found != fileList.end()) {
        fileList.erase(found);
    }
    return WD_SUCCESS;
}

void CFileWatchdog::GetFileList(std::vector<CWatchdogFile>& out) {
    Guard guard(section);
    out = fileList;
}

int CFileWatchdog::StartWatching() {
    if (GetWatchingFlag()) {
        return WD_SUCCESS;
    }
    if (FileListIsEmpty()) {
        return WD_NO_FILES;
    }
    if (DirectoryIsEmpty()) {
        return WD_NO_DIRECTORY;
    }
    if (GetFilter() == 0) {
        return WD_NO_FILTER;
    }
    return SetupChangeNotification();
}

int CFileWatchdog::StopWatching() {
    return StopChangeNotification();
}

int CFileWatchdog::SetupChangeNotification() {
    ResetEvent(acknowledgeEvent);
    {
        Guard guard(section);
        if (!hasThread) {
            if (pthread_create(&thread, nullptr, &CFileWatchdog::ThreadEntry, this) != 0) {
                return WD_THREAD_FAILED;
            }
            hasThread = true;
        }
    }
    ResetEvent(stopEvent);
    SetEvent(startEvent);
    return AwaitAcknowledge(START_ACKNOWLEDGE_MS, true);
}

// The start is withdrawn before the stop is signalled: a thread that answered the stop must
// not find the earlier start still signalled and begin watching again.
int CFileWatchdog::StopChangeNotification() {
    ResetEvent(acknowledgeEvent);
    ResetEvent(startEvent);
    SetEvent(stopEvent);
    return AwaitAcknowledge(STOP_ACKNOWLEDGE_MS, false);
}

int CFileWatchdog::AwaitAcknowledge(DWORD milliseconds, bool expected) {
    if (WaitForSingleObject(acknowledgeEvent, milliseconds) == WAIT_OBJECT_0 &&
        GetWatchingFlag() == expected) {
        return WD_SUCCESS;
    }
    ShutDown();
    return WD_THREAD_FAILED;
}

void CFileWatchdog::ShutDown() {
    SetShutdownFlag(true);
    SetEvent(shutdownEvent);
}

int CFileWatchdog::GetFileEvent(CWatchdogEvent& out) {
    Guard guard(section);
    if (eventList.empty()) {
        return WD_NO_EVENT;
    }
    out = eventList.front();
    eventList.pop_front();
    if (eventList.empty()) {
        ResetEvent(eventsAvailable);
    }
    return WD_SUCCESS;
}

unsigned int CFileWatchdog::GetEventCount() {
    Guard guard(section);
    return static_cast<unsigned int>(eventList.size());
}

void CFileWatchdog::ClearEventList() {
    Guard guard(section);
    eventList.clear();
    ResetEvent(eventsAvailable);
}

void CFileWatchdog::SetMaxListSize(unsigned int n) {
    Guard guard(section);
    maxListSize = n;
    if (eventList.size() > n) {
        eventList.resize(n);
        thrownAwayFlag = true;
    }
    if (n == 0) {
        ResetEvent(eventsAvailable);
    }
}

unsigned int CFileWatchdog::GetMaxListSize() {
    Guard guard(section);
    return maxListSize;
}

bool CFileWatchdog::GetThrownAwayFlag() {
    Guard guard(section);
    return thrownAwayFlag;
}

void CFileWatchdog::ResetThrownAwayFlag() {
    Guard guard(section);
    thrownAwayFlag = false;
}

bool CFileWatchdog::GetInitFlag() {
    Guard guard(section);
    return initFlag;
}

bool CFileWatchdog::GetWatchingFlag() {
    Guard guard(section);
    return watchingFlag;
}

void* CFileWatchdog::ThreadEntry(void* self) {
    static_cast<CFileWatchdog*>(self)->MonitorThread();
    return nullptr;
}

void CFileWatchdog::MonitorThread() {
    {
        Guard guard(section);
        threadId = GetCurrentThreadId();
    }
    SetInitFlag(true);
    HANDLE notification = nullptr;
    try {
        WatchLoop(notification);
    } catch (...) {
        // Memory ran short while copying records or events: the thread ends as it does when
        // the directory cannot be watched. Nothing cancels this thread, so no forced unwinding
        // passes here.
    }
    if (notification != nullptr) {
        FindCloseChangeNotification(notification);
    }
    SetWatchingFlag(false);
    SetInitFlag(false);
}

void CFileWatchdog::WatchLoop(HANDLE& notification) {
    // The thread starts because a start was asked for; it acknowledges a start only once its
    // change notification is open, so that nothing done after a successful start is missed.
    bool startPending = true;
    for (;;) {
        if (GetShutdownFlag()) {
            return;
        }
        if (!startPending && !GetWatchingFlag()) {
            if (notification != nullptr) {
                FindCloseChangeNotification(notification);
                notification = nullptr;
            }
            if (!WaitForStart()) {
                return;
            }
            startPending = true;
        }
        if (notification == nullptr) {
            SWString dir;
            DWORD notifyFilter;
            {
                Guard guard(section);
                dir = directory;
                notifyFilter = filter & NOTIFY_BITS;
            }
            HANDLE opened = FindFirstChangeNotificationW(dir.c_str(), FALSE, notifyFilter);
            if (opened == INVALID_HANDLE_VALUE) {
                // Answers the start that is waiting: not watching.
                SetWatchingFlag(false);
                SetEvent(acknowledgeEvent);
                return;
            }
            notification = opened;
        }
        if (startPending) {
            SetWatchingFlag(true);
            startPending = false;
        }
        const HANDLE handles[3] = {notification, stopEvent, shutdownEvent};
        const DWORD result = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            ProcessFileChangeEvent(notification);
            continue;
        }
        SetWatchingFlag(false);
        if (result != WAIT_OBJECT_0 + 1) {
            return;
        }
    }
}

bool CFileWatchdog::WaitForStart() {
    const HANDLE handles[2] = {startEvent, shutdownEvent};
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0;
}

void CFileWatchdog::ProcessFileChangeEvent(HANDLE notification) {
    Sleep(SETTLE_MS);
    // Drained before the files are read, so a change made while reading signals again.
    FindNextChangeNotification(notification);
    std::vector<CWatchdogFile> files;
    SWString dir;
    DWORD selected;
    {
        Guard guard(section);
        if (fileList.empty()) {
            return;
        }
        files = fileList;
        dir = directory;
        selected = filter;
    }
    for (const CWatchdogFile& old : files) {
        const CWatchdogFile fresh(dir, old.GetName());
        if (fresh.Exists() != old.Exists()) {
            const DWORD flag = fresh.Exists() ? WD_FILE_CREATED : WD_FILE_DELETED;
            if ((selected & flag) != 0) {
                AddEventToList(fresh, flag);
            }
            UpdateFileObject(fresh);
            continue;
        }
        bool queued = false;
        auto compare = [&](bool differs, DWORD flag) {
            if (differs && (selected & flag) != 0) {
                AddEventToList(fresh, flag);
                queued = true;
            }
        };
        compare(fresh.IsArchive() != old.IsArchive(), WD_ARCHIVE_CHANGED);
        compare(fresh.IsCompressed() != old.IsCompressed(), WD_COMPRESSED_CHANGED);
        compare(fresh.IsReadOnly() != old.IsReadOnly(), WD_READONLY_CHANGED);
        compare(fresh.IsHidden() != old.IsHidden(), WD_HIDDEN_CHANGED);
        compare(fresh.GetSize() != old.GetSize(), WD_SIZE_CHANGED);
        compare(!sameTime(fresh.GetLastWriteTime(), old.GetLastWriteTime()), WD_LAST_WRITE_CHANGED);
        if (queued) {
            UpdateFileObject(fresh);
        }
    }
}

void CFileWatchdog::AddEventToList(const CWatchdogFile& file, unsigned long flags) {
    const CWatchdogEvent event(file.GetName(), flags);
    Guard guard(section);
    if (eventList.size() < maxListSize) {
        eventList.push_back(event);
    } else {
        thrownAwayFlag = true;
    }
    if (eventList.size() == 1) {
        SetEvent(eventsAvailable);
    }
}

void CFileWatchdog::UpdateFileObject(const CWatchdogFile& file) {
    Guard guard(section);
    auto found = std::find_if(fileList.begin(), fileList.end(), [&](const CWatchdogFile& listed) {
        return listed.GetName() == file.GetName();
    });
    if (found != fileList.end()) {
        *found = file;
    }
}

bool CFileWatchdog::FileListIsEmpty() {
    Guard guard(section);
    return fileList.empty();
}

bool CFileWatchdog::DirectoryIsEmpty() {
    Guard guard(section);
    return directory.empty();
}

bool CFileWatchdog::GetShutdownFlag() {
    Guard guard(section);
    return shutdownFlag;
}

void CFileWatchdog::SetShutdownFlag(bool value) {
    Guard guard(section);
    shutdownFlag = value;
}

void CFileWatchdog::SetInitFlag(bool value) {
    Guard guard(section);
    initFlag = value;
}

void CFileWatchdog::SetWatchingFlag(bool value) {
    Guard guard(section);
    if (watchingFlag != value) {
        watchingFlag = value;
        SetEvent(acknowledgeEvent);
    }
}

} // namespace KrelStd
