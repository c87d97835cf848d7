#include "file/FileWatcher.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "windows/FileWatcherImpl.h"

namespace krel_std {

FileWatcher::FileWatcher() {
    try {
        impl.reset(new krel_std_internal::FileWatcherImpl);
        impl->start();
    } catch (const KrelException& e) {
        KREL_INTERNAL_DEBUG(L"krel_std::FileWatcher::FileWatcher",
                            L"Unable to start file watcher thread.  File monitoring will have "
                            L"no effect. %ls",
                            e.getMessage().c_str());
        impl.reset();
    }
}

FileWatcher::~FileWatcher() {}

const wchar_t* FileWatcher::getSingletonName() {
    return L"krel_std::FileWatcher";
}

void FileWatcher::addListener(const boost::shared_ptr<IFileListener>& listener, const File& file) {
    boost::shared_ptr<krel_std_internal::FileWatcherImpl> watcher = getInstance().impl;
    if (watcher) {
        watcher->addListener(listener, file);
    }
}

void FileWatcher::removeListener(const boost::shared_ptr<IFileListener>& listener,
                                 const File& file) {
    boost::shared_ptr<krel_std_internal::FileWatcherImpl> watcher = getInstance().impl;
    if (watcher) {
        watcher->removeListener(listener, file);
    }
}

void FileWatcher::removeListener(const boost::shared_ptr<IFileListener>& listener) {
    boost::shared_ptr<krel_std_internal::FileWatcherImpl> watcher = getInstance().impl;
    if (watcher) {
        watcher->removeListener(listener);
    }
}

} // namespace krel_std
