// The older API's watcher of named files in one directory, with its result codes.
#pragma once

#include <deque>
#include <pthread.h>
#include <vector>

#include "base/SWString.h"
#include "file/CWatchdogEvent.h"
#include "file/CWatchdogFile.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"
#include "platform/WinTypes.h"

namespace KrelStd {

// Watches named files of one directory on a thread of its own. On every change notification
// of the directory it compares each watched file with its record and queues one event per
// difference that the filter selects, in a list bounded by the maximum list size; the owner
// takes them with GetFileEvent, waiting on GetEventsAvailableHandle.
//
// Results are 0 or one of the negative codes below; nothing is thrown. Every field is guarded
// by one critical section that is never held across a wait. Starting and stopping are
// handshakes with the thread: the caller waits up to 5000 ms for a start and 150 ms for a stop
// to be acknowledged; a handshake that fails shuts the thread down for good.
class CFileWatchdog {
public:
    enum Result {
        WD_SUCCESS = 0,
        WD_NO_FILES = -1,
        WD_NO_DIRECTORY = -2,
        WD_NO_FILTER = -3,
        WD_THREAD_FAILED = -4,
        WD_EMPTY_FILE_NAME = -5,
        WD_INVALID_DIRECTORY = -6,
        WD_NO_EVENT = -7
    };

    // Event flags, also the bits of the filter word.
    enum EventFlag {
        WD_SIZE_CHANGED = 0x08,
        WD_LAST_WRITE_CHANGED = 0x10,
        WD_ARCHIVE_CHANGED = 0x10000,
        WD_COMPRESSED_CHANGED = 0x20000,
        WD_READONLY_CHANGED = 0x40000,
        WD_HIDDEN_CHANGED = 0x100000,
        WD_FILE_CREATED = 0x400000,
        WD_FILE_DELETED = 0x1000000
    };

    static constexpr unsigned int DEFAULT_MAX_LIST_SIZE = 1000;

    CFileWatchdog();
    // A new watchdog, without thread and events, with the source's directory, filter, maximum
    // list size and watched files.
    CFileWatchdog(const CFileWatchdog& other);
    // Two watchdogs never share their thread, events or lock.
    CFileWatchdog& operator=(const CFileWatchdog&) = delete;
    // Shuts the thread down and waits for it to end.
    virtual ~CFileWatchdog();

    // An existing directory, not empty and shorter than 260 characters, kept as given (end it
    // with a separator); otherwise WD_INVALID_DIRECTORY.
    int SetDirectory(const SWString& dir);
    void GetDirectory(SWString& out);

    // Adds the change-notification bits the event flags need. A different filter while
    // watching restarts the watching with it.
    void SetFilter(unsigned long filter);
    unsigned long GetFilter();

    // Records the file's current state. WD_EMPTY_FILE_NAME, WD_NO_DIRECTORY, or 0 (also when
    // a record of that exact name is already listed).
    int AddFileToList(const SWString& name);
    // Drops the first record of that exact name; WD_EMPTY_FILE_NAME for an empty name.
    int RemoveFileFromList(const SWString& name);
    void GetFileList(std::vector<CWatchdogFile>& out);

    int StartWatching();
    int StopWatching();

    // Takes the oldest queued event; WD_NO_EVENT when there is none.
    int GetFileEvent(CWatchdogEvent& out);
    unsigned int GetEventCount();
    void ClearEventList();
    // A list longer than the new maximum keeps its oldest events and sets the thrown-away flag.
    void SetMaxListSize(unsigned int n);
    unsigned int GetMaxListSize();

    // Manual-reset event, signalled while events are queued; owned by the watchdog.
    HANDLE GetEventsAvailableHandle() const { return eventsAvailable; }

    // Set when an event was dropped because the list was full or cut.
    bool GetThrownAwayFlag();
    void ResetThrownAwayFlag();
    // True while the thread body runs.
    bool GetInitFlag();
    bool GetWatchingFlag();

private:
    // Holds the critical section for one scope.
    class Guard {
    public:
        explicit Guard(CRITICAL_SECTION& held) : section(held) { EnterCriticalSection(&section); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { LeaveCriticalSection(&section); }

    private:
        CRITICAL_SECTION& section;
    };

    void CreateObjects();
    int SetupChangeNotification();
    int StopChangeNotification();
    // Waits for the thread to change the watching flag to expected; shuts it down otherwise.
    int AwaitAcknowledge(DWORD milliseconds, bool expected);
    void ShutDown();
    static void* ThreadEntry(void* self);
    void MonitorThread();
    void WatchLoop(HANDLE& notification);
    // False when the thread is to end instead of watching again.
    bool WaitForStart();
    void ProcessFileChangeEvent(HANDLE notification);
    void AddEventToList(const CWatchdogFile& file, unsigned long flags);
    void UpdateFileObject(const CWatchdogFile& file);
    bool FileListIsEmpty();
    bool DirectoryIsEmpty();
    bool GetShutdownFlag();
    void SetShutdownFlag(bool value);
    void SetInitFlag(bool value);
    void SetWatchingFlag(bool value);

    HANDLE eventsAvailable;
    bool shutdownFlag;
    HANDLE shutdownEvent;
    HANDLE stopEvent;
    HANDLE startEvent;
    bool hasThread;
    pthread_t thread;
    DWORD threadId;
    bool initFlag;
    std::deque<CWatchdogEvent> eventList;
    unsigned int maxListSize;
    bool watchingFlag;
    HANDLE acknowledgeEvent;
    std::vector<CWatchdogFile> fileList;
    SWString directory;
    DWORD filter;
    bool thrownAwayFlag;
    mutable CRITICAL_SECTION section;
};

} // namespace KrelStd
