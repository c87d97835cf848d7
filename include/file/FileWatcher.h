// FileWatcher, the process-wide watcher that tells IFileListeners of changed files.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include "file/File.h"
#include "file/IFileListener.h"
#include "pattern/Singleton.h"

namespace krel_std_internal {
class FileWatcherImpl;
} // namespace krel_std_internal

namespace krel_std {

// The process-wide service that tells IFileListeners when a watched file is created, deleted,
// or changes in content or mode. One thread, started with the singleton and never stopped,
// watches the parent directory of every watched file and calls the listeners.
//
// Every operation is static and may be called from any thread, also from inside a listener's
// call. When the watcher thread could not be started, every operation does nothing.
class FileWatcher : public Singleton<FileWatcher>, private boost::noncopyable {
    friend class Singleton<FileWatcher>;

public:
    virtual ~FileWatcher();

    // Watches file for listener. Throws KrelIOException "Could not monitor directory" when the
    // file's directory cannot be watched. A null listener is ignored.
    static void addListener(const boost::shared_ptr<IFileListener>& listener, const File& file);
    // Stops telling listener about file. Returns only after any call in progress to that
    // listener has finished (unless called on the watcher thread, from inside a listener's
    // call), so the caller must not hold a lock that the listener's handlers take.
    static void removeListener(const boost::shared_ptr<IFileListener>& listener, const File& file);
    // Stops telling listener about any file, with the same guarantee as above.
    static void removeListener(const boost::shared_ptr<IFileListener>& listener);

private:
    FileWatcher();
    static const wchar_t* getSingletonName();

    boost::shared_ptr<krel_std_internal::FileWatcherImpl> impl;
};

} // namespace krel_std
