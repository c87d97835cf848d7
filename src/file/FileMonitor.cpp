#include "file/FileMonitor.h"

#include <algorithm>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "internal/GuardedCall.h"
#include "thread/AutoLock.h"
#include "windows/FileMonitorImpl.h"

namespace krel_std {

FileMonitor::FileMonitor() : impl(new krel_std_internal::FileMonitorImpl(*this)) {}

FileMonitor::FileMonitor(const File& directory) : FileMonitor() {
    setDirectory(directory);
}

FileMonitor::~FileMonitor() {
    // The thread may call this monitor until it has ended, so it ends before any member goes.
    impl->close();
    impl.reset();
}

std::wstring FileMonitor::toString() const {
    return L"FileMonitor{}";
}

void FileMonitor::setDirectory(const File& directory) {
    AutoLock<Lock> guard(lock);
    impl->setDirectory(directory);
}

std::wstring FileMonitor::getDirectory() const {
    AutoLock<Lock> guard(lock);
    return impl->getDirectory();
}

void FileMonitor::addFile(const std::wstring& filename) {
    AutoLock<Lock> guard(lock);
    ErrorUtils::isEmptyEx(filename, L"krel_std::FileMonitor::addFile", L"filename");
    File::assertFilenameIsValid(filename);
    impl->addFile(filename);
}

void FileMonitor::removeFile(const std::wstring& filename) {
    AutoLock<Lock> guard(lock);
    impl->removeFile(filename);
}

void FileMonitor::clearFileList() {
    AutoLock<Lock> guard(lock);
    impl->clearFileList();
}

void FileMonitor::startMonitoring() {
    AutoLock<Lock> guard(lock);
    impl->startMonitoring();
}

void FileMonitor::stopMonitoring() {
    AutoLock<Lock> guard(lock);
    impl->stopMonitoring();
}

void FileMonitor::addListener(const boost::shared_ptr<FileEventListener>& listener) {
    AutoLock<Lock> guard(lock);
    if (std::find(listeners.begin(), listeners.end(), listener) == listeners.end()) {
        listeners.push_back(listener);
    }
}

void FileMonitor::removeListener(const boost::shared_ptr<FileEventListener>& listener) {
    AutoLock<Lock> guard(lock);
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}

void FileMonitor::notifyFileDeleted(const std::wstring& directory, const std::wstring& fileName) {
    notify(&FileEventListener::onFileDeleted, directory, fileName);
}

void FileMonitor::notifyFileCreated(const std::wstring& directory, const std::wstring& fileName) {
    notify(&FileEventListener::onFileCreated, directory, fileName);
}

void FileMonitor::notifyFileAttributeChange(const std::wstring& directory,
                                            const std::wstring& fileName) {
    notify(&FileEventListener::onFileAttributeChange, directory, fileName);
}

void FileMonitor::notifyFileSizeChange(const std::wstring& directory,
                                       const std::wstring& fileName) {
    notify(&FileEventListener::onFileSizeChange, directory, fileName);
}

void FileMonitor::notifyFileLastWriteTimeChange(const std::wstring& directory,
                                                const std::wstring& fileName) {
    notify(&FileEventListener::onFileLastWriteTimeChange, directory, fileName);
}

void FileMonitor::notify(Handler handler, const std::wstring& directory,
                         const std::wstring& fileName) {
    ListenerList current;
    {
        AutoLock<Lock> guard(lock);
        current = listeners;
    }
    for (const boost::shared_ptr<FileEventListener>& listener : current) {
        const bool called = krel_std_internal::callGuarded(
            L"krel_std::FileMonitor::notify",
            [&listener] {
                std::wstring call;
                StringUtils::sprintfStringAppend(call, L"Listener(%p), now removed from the list,",
                                                 static_cast<const void*>(listener.get()));
                return call;
            },
            [&] { ((*listener).*handler)(directory, fileName); });
        if (!called) {
            removeListener(listener);
        }
    }
}

} // namespace krel_std
