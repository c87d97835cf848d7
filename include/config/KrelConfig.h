// KrelConfig, an INI configuration file that watches itself and reports each changed key.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationFile.h"
#include "file/IFileListener.h"

namespace krel_std {

class ConfigurationListener;

// An INI configuration file that watches itself. The file watcher tells it when its file is
// created, changed or deleted; it then reloads the file, works out which keys were added,
// removed or changed, takes the new content and tells its ConfigurationListeners one
// ConfigurationChangeEvent per key. Changes made through setValue, addSection, removeSection and
// removeValue are reported the same way; removeKeyValue changes the content without a report.
// None of the setters saves the file, and the constructor does not read it: owners call load()
// and save().
//
// Reloads and their reports run on the file watcher's thread, reports of the setters on the
// caller's thread. Listeners are always called without the configuration's lock held, in the
// order they were added; an exception from a listener ends that report and passes to the
// caller (or out of the watcher's call). A reload that cannot read the file in five attempts
// leaves the content as it was and reports nothing.
//
// The file is watched from construction (for a non-empty path) until the last listener is
// removed or the object is destroyed; setPath with listeners present watches the new path.
class KrelConfig : public ConfigurationFile, public IFileListener, private boost::noncopyable {
public:
    typedef std::vector<ConfigurationChangeEvent> EventList;

    // An INI configuration with the charset "windows-1252" bound to the file at path, watched
    // when the path is not empty. A failure to watch is traced at DEBUG and leaves the object
    // working unwatched.
    explicit KrelConfig(const std::wstring& path = std::wstring());
    // Stops watching; returns once no call of the file watcher to this object is in progress.
    ~KrelConfig() override;

    // "KrelConfig{path='...'}".
    std::wstring toString() const override;
    // Reports Added for a new key and Changed for a key whose value differs from the stored one
    // (with the section, key and value as passed); nothing when the value is already stored.
    void setValue(const std::wstring& key, const std::wstring& value,
                  const std::wstring& section = defaultSection) override;
    // Takes over the section's key/value lines (not its comments or empty lines), reporting
    // each key whose value differs from the stored one as Added or Changed.
    void addSection(const ConfigurationSection& section) override;
    // Reports each key of the removed (or, for the unnamed section, emptied) section as
    // Removed with its old value. False, and no report, for a missing section.
    bool removeSection(const std::wstring& section) override;
    // Binds the new path and, with listeners present, watches it instead of the old one.
    void setPath(const File& file) override;
    // Removes the key and reports it as Removed with its old value; false, and no report,
    // when the key is missing.
    virtual bool removeValue(const std::wstring& key, const std::wstring& section = defaultSection);

    void onFileDeleted(const File& file) override;
    void onFileCreated(const File& file) override;
    void onFileContentChange(const File& file) override;

    // Ignores an empty pointer and a listener already present.
    void addConfigurationListener(const boost::shared_ptr<ConfigurationListener>& listener);
    // When the last listener goes, the file is no longer watched; adding a listener later does
    // not watch it again (setPath does).
    void removeConfigurationListener(const boost::shared_ptr<ConfigurationListener>& listener);
    // With listeners present, watches the current path instead of the earlier one. A failure
    // is traced at DEBUG and swallowed.
    void updateListenerPath();

protected:
    bool hasConfigurationListener(const boost::shared_ptr<ConfigurationListener>& listener) const;
    // Once the file's content has settled (its stamp unchanged for 50 ms), reloads it (or, when
    // it is gone, takes an empty configuration), takes the new content and reports each change.
    // Up to five attempts, 0, 100, 200, 300 and 400 ms apart. An empty file replacing keys is
    // read again a few times before it is taken.
    void checkFileForChanges(bool deleted);
    // The changes from this configuration to the fresh one: for each key of this one in order,
    // Changed (with the fresh value) or Removed (with the old value); then for each key only
    // the fresh one holds, Added. Comments, empty lines, order and empty sections count for
    // nothing.
    EventList getChangeEvents(Configuration& fresh);
    // Calls each listener, in order of addition, without the lock held.
    void notifyListeners(const ConfigurationChangeEvent& event);

private:
    typedef std::vector<boost::shared_ptr<ConfigurationListener>> ListenerList;

    // This object as the file watcher holds it: a shared pointer that does not own it.
    boost::shared_ptr<IFileListener> asFileListener();
    // Watches the path for this object unless the path is empty; traces a failure at DEBUG in
    // the caller's context with the given path text.
    void startMonitoring(const wchar_t* context, const File& file, const std::wstring& shownPath);
    void notifyAll(const EventList& events);
    // Loads the fresh configuration in up to five attempts; false when all failed.
    static bool loadWithRetries(ConfigurationFile& fresh);
    bool loadSettled(ConfigurationFile& fresh);
    bool holdsKeys() const;

    ListenerList listeners;
};

} // namespace krel_std
