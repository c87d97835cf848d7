#include "config/KrelConfig.h"

#include <algorithm>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "config/ConfigurationListener.h"
#include "config/IniConfigurationSerializer.h"
#include "exception/KrelException.h"
#include "file/FileWatcher.h"
#include "pattern/Singleton.h"
#include "platform/FileStamp.h"
#include "thread/AutoLock.h"
#include "thread/Thread.h"

namespace krel_std {

namespace {

const int LOAD_ATTEMPTS = 5;
const long RETRY_STEP_MS = 100;
// A file rewritten in place (truncated, then written) passes through states nobody meant as a
// configuration. It is read once its stamp stayed the same for one quiet period, waiting at
// most SETTLE_ROUNDS periods for a file that keeps changing.
const long QUIET_PERIOD_MS = 50;
const int SETTLE_ROUNDS = 20;
// An empty file that replaced a configuration with keys is read again this many quiet periods
// before it is taken: it is most likely a rewrite caught between its truncation and its write.
const int EMPTY_REREADS = 4;

void traceMonitoringFailure(const wchar_t* context, const std::wstring& path,
                            const KrelException& error) {
    KREL_INTERNAL_DEBUG(context, L"Unable to start monitoring for <%ls>: <%ls>.", path.c_str(),
                        error.getMessage().c_str());
}

// The canonical path's text, or the path as set when it has none.
std::wstring canonicalText(const File& file) {
    try {
        return file.getCanonicalPath();
    } catch (const KrelException&) {
        return file.getPath();
    }
}

// Waits until the file's stamp (or its absence) held for one quiet period; true when the file
// exists then.
bool waitUntilQuiet(const File& file) {
    const std::wstring path = file.getPath();
    krel_platform::FileStamp before;
    bool existed = krel_platform::readFileStamp(path, before);
    for (int round = 0; round < SETTLE_ROUNDS; ++round) {
        Thread::sleep(QUIET_PERIOD_MS);
        krel_platform::FileStamp now;
        const bool exists = krel_platform::readFileStamp(path, now);
        if (exists == existed && (!exists || !now.contentDiffers(before))) {
            break;
        }
        before = now;
        existed = exists;
    }
    return existed;
}

bool holdsNoKeys(const Configuration& configuration) {
    for (const std::wstring& section : configuration.getSectionNames()) {
        if (!configuration.getKeys(section).empty()) {
            return false;
        }
    }
    return true;
}

} // namespace

KrelConfig::KrelConfig(const std::wstring& path)
    : ConfigurationFile(File(path),
                        boost::shared_ptr<ConfigurationSerializer>(new IniConfigurationSerializer(
                            ConfigurationSerializer::defaultCharset))) {
    startMonitoring(L"krel_std::KrelConfig::KrelConfig", getPath(), path);
}

KrelConfig::~KrelConfig() {
    FileWatcher::removeListener(asFileListener());
    AutoLock<Lock> guard(lock);
    listeners.clear();
}

std::wstring KrelConfig::toString() const {
    return L"KrelConfig{path='" + getPath().getPath() + L"'}";
}

boost::shared_ptr<IFileListener> KrelConfig::asFileListener() {
    return boost::shared_ptr<IFileListener>(static_cast<IFileListener*>(this), null_deleter());
}

void KrelConfig::startMonitoring(const wchar_t* context, const File& file,
                                 const std::wstring& shownPath) {
    if (file.getPath().empty()) {
        return;
    }
    try {
        FileWatcher::addListener(asFileListener(), file);
    } catch (const KrelException& error) {
        traceMonitoringFailure(context, shownPath, error);
    }
}

void KrelConfig::setValue(const std::wstring& key, const std::wstring& value,
                          const std::wstring& section) {
    ConfigurationChangeEvent::ChangeType type = ConfigurationChangeEvent::Added;
    bool due = true;
    {
        AutoLock<Lock> guard(lock);
        if (containsKey(key, section)) {
            type = ConfigurationChangeEvent::Changed;
            due = getValue(key, section) != value;
        }
        Configuration::setValue(key, value, section);
    }
    if (due) {
        notifyListeners(ConfigurationChangeEvent(getPath(), type, section, key, value));
    }
}

void KrelConfig::addSection(const ConfigurationSection& section) {
    EventList events;
    {
        AutoLock<Lock> guard(lock);
        const std::wstring name = section.getName();
        const File path = getPath();
        for (const std::wstring& key : section.getKeys()) {
            const std::wstring value = section.getValue(key);
            const ConfigurationChangeEvent::ChangeType type =
                containsKey(key, name) ? ConfigurationChangeEvent::Changed
                                       : ConfigurationChangeEvent::Added;
            const bool due = getValue(key, name) != value;
            Configuration::setValue(key, value, name);
            if (due) {
                events.emplace_back(path, type, name, key, value);
            }
        }
    }
    notifyAll(events);
}

bool KrelConfig::removeSection(const std::wstring& section) {
    ConfigurationSection removed;
    {
        AutoLock<Lock> guard(lock);
        if (!containsSection(section)) {
            return false;
        }
        const KrelConfig& self = *this;
        removed = self.getSection(section);
        if (!Configuration::removeSection(section)) {
            return false;
        }
    }
    const File path = getPath();
    EventList events;
    for (const std::wstring& key : removed.getKeys()) {
        events.emplace_back(path, ConfigurationChangeEvent::Removed, section, key,
                            removed.getValue(key));
    }
    notifyAll(events);
    return true;
}

void KrelConfig::setPath(const File& file) {
    ConfigurationFile::setPath(file);
    updateListenerPath();
}

// The watcher is called without the lock held: removing this object from the watcher waits for
// a reload in progress, and a reload takes the lock.
void KrelConfig::updateListenerPath() {
    File path;
    {
        AutoLock<Lock> guard(lock);
        if (listeners.empty()) {
            return;
        }
        path = getPath();
    }
    FileWatcher::removeListener(asFileListener());
    startMonitoring(L"krel_std::KrelConfig::updateListenerPath", path, canonicalText(path));
}

bool KrelConfig::removeValue(const std::wstring& key, const std::wstring& section) {
    std::wstring oldValue;
    bool removed = false;
    {
        AutoLock<Lock> guard(lock);
        if (containsKey(key, section)) {
            oldValue = getValue(key, section);
            removed = Configuration::removeKeyValue(key, section);
        }
    }
    if (removed) {
        notifyListeners(ConfigurationChangeEvent(getPath(), ConfigurationChangeEvent::Removed,
                                                 section, key, oldValue));
    }
    return removed;
}

void KrelConfig::onFileDeleted(const File&) {
    checkFileForChanges(true);
}

void KrelConfig::onFileCreated(const File&) {
    checkFileForChanges(false);
}

void KrelConfig::onFileContentChange(const File&) {
    checkFileForChanges(false);
}

void KrelConfig::addConfigurationListener(
    const boost::shared_ptr<ConfigurationListener>& listener) {
    AutoLock<Lock> guard(lock);
    if (listener && !hasConfigurationListener(listener)) {
        listeners.push_back(listener);
    }
}

// As in updateListenerPath, the watcher is called after the lock is released.
void KrelConfig::removeConfigurationListener(
    const boost::shared_ptr<ConfigurationListener>& listener) {
    {
        AutoLock<Lock> guard(lock);
        const auto found = std::find(listeners.begin(), listeners.end(), listener);
        if (found == listeners.end()) {
            return;
        }
        listeners.erase(found);
        if (!listeners.empty()) {
            return;
        }
    }
    FileWatcher::removeListener(asFileListener());
}

bool KrelConfig::hasConfigurationListener(
    const boost::shared_ptr<ConfigurationListener>& listener) const {
    AutoLock<Lock> guard(lock);
    return std::find(listeners.begin(), listeners.end(), listener) != listeners.end();
}

bool KrelConfig::loadWithRetries(ConfigurationFile& fresh) {
    for (int attempt = 0; attempt < LOAD_ATTEMPTS; ++attempt) {
        Thread::sleep(attempt * RETRY_STEP_MS);
        try {
            fresh.load();
            return true;
        } catch (const KrelException& error) {
            KREL_INTERNAL_DEBUG(L"krel_std::KrelConfig::checkFileForChanges",
                                L"Unable to load configuration: %ls", error.getMessage().c_str());
        }
    }
    KREL_INTERNAL_DEBUG(L"krel_std::KrelConfig::checkFileForChanges",
                        L"Unable to load configuration after <%d> attempts, giving up.",
                        LOAD_ATTEMPTS);
    return false;
}

bool KrelConfig::holdsKeys() const {
    AutoLock<Lock> guard(lock);
    return !holdsNoKeys(*this);
}

// Reads the settled file; an empty reading that would replace keys is taken only when the file
// is still empty after a few more quiet periods.
bool KrelConfig::loadSettled(ConfigurationFile& fresh) {
    if (!loadWithRetries(fresh)) {
        return false;
    }
    for (int reread = 0; reread < EMPTY_REREADS && holdsNoKeys(fresh) && holdsKeys(); ++reread) {
        if (!waitUntilQuiet(getPath())) {
            return true;
        }
        if (!loadWithRetries(fresh)) {
            return false;
        }
    }
    return true;
}

// The file is read once its content has settled, so one edit gives one reading; a file deleted
// and made again meanwhile (an editor's save) is read rather than taken as deleted. The fresh
// configuration shares this one's serializer, so a reload also refreshes the line separator
// remembered for saving. The changes are worked out and the content replaced in one hold of the
// lock, so a setter on another thread falls wholly before or after the reload.
void KrelConfig::checkFileForChanges(bool deleted) {
    deleted = !waitUntilQuiet(getPath()) && deleted;
    ConfigurationFile fresh(getPath(), getSerializer());
    if (!deleted && !loadSettled(fresh)) {
        return;
    }
    EventList events;
    {
        AutoLock<Lock> guard(lock);
        events = getChangeEvents(fresh);
        replaceSections(fresh);
    }
    notifyAll(events);
}

KrelConfig::EventList KrelConfig::getChangeEvents(Configuration& fresh) {
    AutoLock<Lock> guard(lock);
    const File path = getPath();
    EventList events;
    for (const std::wstring& section : getSectionNames()) {
        for (const std::wstring& key : getKeys(section)) {
            const std::wstring value = getValue(key, section);
            if (!fresh.containsKey(key, section)) {
                events.emplace_back(path, ConfigurationChangeEvent::Removed, section, key, value);
            } else if (fresh.getValue(key, section) != value) {
                events.emplace_back(path, ConfigurationChangeEvent::Changed, section, key,
                                    fresh.getValue(key, section));
            }
        }
    }
    for (const std::wstring& section : fresh.getSectionNames()) {
        for (const std::wstring& key : fresh.getKeys(section)) {
            if (!containsKey(key, section)) {
                events.emplace_back(path, ConfigurationChangeEvent::Added, section, key,
                                    fresh.getValue(key, section));
            }
        }
    }
    return events;
}

void KrelConfig::notifyAll(const EventList& events) {
    for (const ConfigurationChangeEvent& event : events) {
        notifyListeners(event);
    }
}

void KrelConfig::notifyListeners(const ConfigurationChangeEvent& event) {
    ListenerList current;
    {
        AutoLock<Lock> guard(lock);
        if (listeners.empty()) {
            return;
        }
        current = listeners;
    }
    for (const auto& listener : current) {
        listener->onConfigChange(event);
    }
}

} // namespace krel_std
