#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "file/File.h"
#include "file/IFileListener.h"
#include "platform/FileStamp.h"
#include "platform/WinTypes.h"
#include "thread/Lock.h"
#include "thread/Thread.h"

namespace krel_std_internal {

// The thread behind FileWatcher. Watched files are grouped by their parent directory; each
// directory has one change notification. The thread waits on the update event (the map
// changed), on the change activity of all notifications and on the shutdown event, so the
// number of directories has no limit. When a directory changed, it drains the notification,
// then reads the status of each watched file of it again and tells the file's listeners what
// changed, after releasing its lock. A directory that went away is watched again at later
// wake-ups; while one is missing the thread also wakes on its own to try.
//
// Directories and files are keyed by their canonical paths, computed once when they are added.
class FileWatcherImpl : public krel_std::Thread {
public:
    // Throws KrelUnknownException when an event cannot be made. Does not start the thread.
    FileWatcherImpl();
    // Stops the thread and waits for it to end (unless called on it).
    ~FileWatcherImpl() override;

    // Watches file for listener; a null listener is ignored. Throws KrelIOException "Could not
    // monitor directory" when the file's directory cannot be watched: then nothing is added, so
    // a later call tries again.
    void addListener(const boost::shared_ptr<krel_std::IFileListener>& listener,
                     const krel_std::File& file);
    // Stops telling listener about every file. Returns once no call to the listener is in
    // progress, unless called on the watcher thread; it is not called afterwards.
    void removeListener(const boost::shared_ptr<krel_std::IFileListener>& listener);
    // The same for one file.
    void removeListener(const boost::shared_ptr<krel_std::IFileListener>& listener,
                        const krel_std::File& file);

    void run() override;

private:
    typedef std::vector<boost::shared_ptr<krel_std::IFileListener>> ListenerList;
    typedef void (krel_std::IFileListener::*Handler)(const krel_std::File&);

    struct FileInfo {
        krel_std::File file;
        // In the order added, each at most once.
        ListenerList listeners;
        bool exists;
        // The status at the last look; kept while the file is absent.
        krel_platform::FileStamp stamp;
    };

    // Owns its change notification.
    class DirectoryInfo {
    public:
        DirectoryInfo(const krel_std::File& directory, HANDLE handle);
        DirectoryInfo(const DirectoryInfo&) = delete;
        DirectoryInfo& operator=(const DirectoryInfo&) = delete;
        virtual ~DirectoryInfo();

        krel_std::File directory;
        std::map<std::wstring, FileInfo> files;
        HANDLE handle;
        // The directory went away and is not watched until it can be again.
        bool lost;
    };

    // One call due to the listeners of one file, with the list as it was when it was found.
    struct Change {
        std::wstring directoryKey;
        std::wstring fileKey;
        krel_std::File file;
        ListenerList listeners;
        Handler handler;
    };

    // The canonical path of the file, or its path as written when that cannot be made.
    static std::wstring keyOf(const krel_std::File& file);
    static HANDLE createEvent(bool manualReset, const wchar_t* failure);

    void cleanDirectories();
    // Looks at every directory whose notification is signalled, and at every lost one.
    void processChangedDirectories();
    void updateAndNotifyDirectory(HANDLE handle);
    void findChanges(const std::wstring& directoryKey, DirectoryInfo& directory,
                     std::vector<Change>& changes);
    bool hasLostDirectories();
    void notifyListeners(const Change& change);
    // Under the lock: whether the listener is still registered for the file of the change;
    // if so, the call is marked in progress.
    bool beginCall(const Change& change, const krel_std::IFileListener* listener);
    void endCall();
    // Ends the call marked by beginCall, also when the thread unwinds.
    struct CallScope {
        explicit CallScope(FileWatcherImpl& owner) : owner(owner) {}
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;
        ~CallScope() { owner.endCall(); }
        FileWatcherImpl& owner;
    };
    void waitForCallsTo(const krel_std::IFileListener* listener);
    static void callGuarded(krel_std::IFileListener& listener, Handler handler,
                            const krel_std::File& file);
    static void closeHandles(HANDLE first, HANDLE second, HANDLE third);

    std::map<std::wstring, DirectoryInfo> directories;
    HANDLE shutdownEvent;
    HANDLE updateEvent;
    // Signalled when any change notification of the process was signalled.
    HANDLE changeActivity;
    // Guards the map and everything in it.
    krel_std::Lock lock;

    // The listener being called on the watcher thread, if any.
    std::mutex callMutex;
    std::condition_variable callEnded;
    const krel_std::IFileListener* calling;
    std::atomic<uint64_t> watcherThreadId;
};

} // namespace krel_std_internal
