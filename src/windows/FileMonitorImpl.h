#pragma once

#include <atomic>
#include <boost/enable_shared_from_this.hpp>
#include <string>

#include "file/CFileWatchdog.h"
#include "file/File.h"
#include "platform/WinHandles.h"
#include "thread/Thread.h"

namespace krel_std {
class FileMonitor;
} // namespace krel_std

namespace krel_std_internal {

// The thread behind FileMonitor: it owns a directory watchdog that watches every event kind
// and turns each event the watchdog queues into one notify call of its owner.
//
// Made and held through a shared pointer: while the thread runs it holds the engine itself, so
// an owner destroyed by one of its own listeners leaves the engine alive until the thread ends.
// The owner calls close before it goes; notify calls happen only until then.
class FileMonitorImpl : public krel_std::Thread,
                        public boost::enable_shared_from_this<FileMonitorImpl> {
public:
    // The filter word: every event flag of the watchdog.
    static constexpr unsigned long ALL_EVENTS = 0x1570018;

    explicit FileMonitorImpl(krel_std::FileMonitor& owner);
    ~FileMonitorImpl() override;

    void setDirectory(const krel_std::File& dir);
    std::wstring getDirectory();
    void addFile(const std::wstring& name);
    void removeFile(const std::wstring& name);
    void clearFileList();

    void startMonitoring();
    // Waits at most 150 ms for the thread.
    void stopMonitoring();
    // Stops monitoring for good: waits for the thread without a limit (unless called on it)
    // and calls the owner no more.
    void close();

    void run() override;

private:
    // Signals the thread to stop, waits for it as long as given (negative: without limit) and
    // pauses the watchdog.
    void stop(long ms);
    // A monitor started while the watchdog could not watch yet (no files) starts it now.
    void resumeWatching();
    void drainEvents();

    krel_std::FileMonitor* owner;
    std::atomic<bool> running;
    KrelStd::CFileWatchdog watchdog;
    HANDLE stopEvent;
    // Set on the thread while run is in progress.
    std::atomic<uint64_t> threadId;
};

} // namespace krel_std_internal
