// IFileListener, told by the file watcher when a watched file changes.
#pragma once

namespace krel_std {

class File;

// Told by the file watcher when a watched file is created, deleted, or changes in content or
// mode. The calls arrive on the watcher thread, which all watched directories share: a
// handler must not block it for long. Every handler does nothing unless overridden.
class IFileListener {
public:
    virtual ~IFileListener() {}

    virtual void onFileDeleted(const File& file);
    virtual void onFileCreated(const File& file);
    virtual void onFileModeChange(const File& file);
    virtual void onFileContentChange(const File& file);
};

inline void IFileListener::onFileDeleted(const File&) {}
inline void IFileListener::onFileCreated(const File&) {}
inline void IFileListener::onFileModeChange(const File&) {}
inline void IFileListener::onFileContentChange(const File&) {}

} // namespace krel_std
