#include "prefs/FilePreferences.h"

#include <chrono>
#include <cwchar>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationCodec.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationSection.h"
#include "config/ConfigurationText.h"
#include "config/ConfigurationVisitor.h"
#include "exception/KrelBackingStoreException.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "pattern/Singleton.h"
#include "platform/FileReplacement.h"
#include "platform/NativePath.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinCrtFile.h"
#include "platform/WinFile.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "system/KrelSystem.h"
#include "thread/AutoLock.h"
#include "windows/FindHandle.h"

namespace krel_std {

namespace {

const wchar_t USER_ROOT_STR[] = L"USER_ROOT";
const wchar_t SYSTEM_ROOT_STR[] = L"SYSTEM_ROOT";
const wchar_t PREF_FILE_NAME[] = L"prefs.cfg";
const wchar_t PREFS_DIR_VARIABLE[] = L"KREL_PREFS_DIR";
const wchar_t SAVE_FAILURE[] = L"Unable to save Preferences information.";

// The statics of the back end. They are never destroyed: the roots, and with them every cached
// node, live until the process ends, and nothing at exit runs their destructors after the
// services they use are gone.
struct RootState {
    Lock rootLock;
    std::wstring userRootPath;
    std::wstring systemRootPath;
    boost::shared_ptr<Preferences> userRoot;
    boost::shared_ptr<Preferences> systemRoot;
};

RootState& rootState() {
    static RootState& state = *new RootState;
    return state;
}

// The directory's canonical path, made with its missing parents.
std::wstring preparedRoot(const File& directory) {
    const File canonical = directory.getCanonicalFile();
    if (!canonical.exists()) {
        canonical.mkdirs();
    }
    return canonical.getPath();
}

// The longest directory name the file systems take, in bytes of the UTF-8 form that paths are
// handed over in.
const std::size_t MAX_DIRECTORY_NAME_BYTES = 255;

// Whether the piece of a node name cannot be a directory of its own: "." and ".." are other
// directories, and a directory with a longer name could never be made, so the node could never
// be saved.
bool isUnstorablePiece(const std::wstring& piece) {
    return piece == L"." || piece == L".." ||
           krel_platform::wideToUtf8(piece).size() > MAX_DIRECTORY_NAME_BYTES;
}

// Whether any '\'-separated piece of the name cannot be a directory.
bool namesUnstorableDirectory(const std::wstring& name) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find(L'\\', start);
        const std::wstring piece =
            name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (isUnstorablePiece(piece)) {
            return true;
        }
        if (end == std::wstring::npos) {
            return false;
        }
        start = end + 1;
    }
}

// Whether saving the file could never work because a path it uses is longer than the file
// system takes: 4095 bytes of UTF-8. The file is replaced through a temporary next to it, the
// longest path a save uses.
bool isPathTooLongToSave(const File& file) {
    const std::size_t maxPathBytes = 4095;
    return krel_platform::wideToUtf8(file.getCanonicalPath()).size() +
               krel_platform::TEMPORARY_NAME_EXTRA_BYTES >
           maxPathBytes;
}

void doNothing(ConfigurationListener*) {}

// The keys of the unnamed section whose value is not the empty text, in file order, gathered in
// one walk under the configuration's lock.
class ListedKeys : public ConfigurationVisitor {
public:
    void visit(const ConfigurationSection& section) override {
        inUnnamedSection = section.getName().empty();
    }
    void visit(const ConfigurationElement& element) override {
        if (inUnnamedSection && element.isKeyValue() && !element.getValue().empty()) {
            keys.push_back(element.getKey());
        }
    }

    std::vector<std::wstring> keys;

private:
    bool inUnnamedSection = false;
};

// The section that holds a node's preferences, made once so a lookup builds no name.
const std::wstring& unnamedSection() {
    static const std::wstring& section = *new std::wstring(Configuration::defaultSection);
    return section;
}

// Refuses a key or value holding a character that the file's charset cannot hold: it would be
// written as a substitute ('?'), read back as other text, and keys differing only there would
// become one. Text below U+0080, which every charset holds, is passed by one look at each
// character.
void checkFileCharset(const ConfigurationFile& config, const std::wstring& key,
                      const std::wstring& value) {
    using krel_std_internal::ConfigurationCodec;
    using krel_std_internal::ConfigurationText;
    if (ConfigurationCodec::findNonAscii(key) == std::wstring::npos &&
        ConfigurationCodec::findNonAscii(value) == std::wstring::npos) {
        return;
    }
    const wchar_t* const context = L"krel_std::FilePreferences::putSpi";
    const std::wstring charset = config.getSerializer()->getCharset();
    const std::wstring quotedKey = L"<" + StringUtils::quotedPrefix(key) + L">";
    ConfigurationText::checkCharset(key, charset, context, L"Key " + quotedKey);
    ConfigurationText::checkCharset(value, charset, context, L"Value of key " + quotedKey);
}

// Whether the stamp could be read and is that of a regular file.
bool readRegularFileStamp(const std::wstring& path, krel_platform::FileStamp& stamp) {
    return krel_platform::readFileStamp(path, stamp) && (stamp.mode & _S_IFMT) == _S_IFREG;
}

// The longest time between a change of a directory and the modification time it is given that
// a file system may round away, with room for the lag of the coarse clock that stamps it.
const std::chrono::seconds timestampGranularity(2);

// Whether no later change of the directory can be given the modification time of the stamp:
// that time lies further back than the file system's rounding reaches.
bool isSettled(const krel_platform::FileStamp& stamp) {
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(stamp.modificationSeconds) +
            std::chrono::nanoseconds(stamp.modificationNanoseconds)));
    return modified + timestampGranularity < std::chrono::system_clock::now();
}

// Whether the directory entry is a symbolic link: whether it names a directory can change
// without any change of the directory that holds it.
bool isLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The names of the subdirectories of the directory, in one pass over it: each entry's own
// attributes tell a directory (a link to one counts as one), so no entry is looked up again by
// path. A name holding '\' cannot be addressed as a child and is left out. linked tells whether
// any of the names is a link.
std::vector<std::wstring> listChildDirectories(const std::wstring& directory, bool& linked) {
    std::vector<std::wstring> names;
    linked = false;
    struct _wfinddata64i32_t entry {};
    const bool endsWithSeparator = !directory.empty() && directory.back() == L'/';
    const std::wstring prefix = endsWithSeparator ? directory : directory + L"/";
    const krel_std_internal::FindHandle search(_wfindfirst64i32((prefix + L"*").c_str(), &entry));
    if (!search.isValid()) {
        return names;
    }
    do {
        if ((entry.attrib & _A_SUBDIR) != 0 && std::wcscmp(entry.name, L".") != 0 &&
            std::wcscmp(entry.name, L"..") != 0 && std::wcschr(entry.name, L'\\') == nullptr) {
            names.emplace_back(entry.name);
            linked = linked || isLink(prefix + entry.name);
        }
    } while (_wfindnext64i32(search.get(), &entry) == 0);
    return names;
}

PreferenceChangeNotifier& notifier() {
    return Singleton<PreferenceChangeNotifier>::getInstance();
}

} // namespace

boost::shared_ptr<Preferences> FilePreferences::getUserRoot() {
    return getRoot(USER);
}

boost::shared_ptr<Preferences> FilePreferences::getSystemRoot() {
    return getRoot(SYSTEM);
}

boost::shared_ptr<Preferences> FilePreferences::getRoot(RootType type) {
    RootState& state = rootState();
    AutoLock<Lock> guard(state.rootLock);
    boost::shared_ptr<Preferences>& root = type == USER ? state.userRoot : state.systemRoot;
    if (!root) {
        root.reset(new FilePreferences(type, std::wstring()));
    }
    return root;
}

FilePreferences::FilePreferences(RootType type, const std::wstring& name)
    : treeType(type), nodeDirectory(buildFilePath(rootTypePath(type), name)),
      directoryPath(nodeDirectory.getCanonicalPath()),
      nativeDirectoryPath(krel_platform::nativePath(directoryPath)),
      prefsFile(directoryPath, PREF_FILE_NAME) {
    const wchar_t* const context = L"krel_std::FilePreferences::FilePreferences";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Root type <%d> Name <%ls>.", static_cast<int>(type),
                          name.c_str());
    ErrorUtils::isAboveMaximumEx(name.length(), static_cast<std::size_t>(MAX_PREF_NAME_LENGTH),
                                 context, L"Name length");
    if (name.find(L'/') != std::wstring::npos) {
        KrelIllegalArgumentException error(L"Name <" + name + L"> contains a forward slash");
        error.logDebug(context);
        throw error;
    }
    openStore(context);
}

FilePreferences::FilePreferences(const boost::shared_ptr<AbstractPreferences>& parent,
                                 const std::wstring& name)
    : AbstractPreferences(parent, name), treeType(treeTypeOf(parent)),
      nodeDirectory(buildFilePath(parent, checkedChildName(name))),
      directoryPath(nodeDirectory.getCanonicalPath()),
      nativeDirectoryPath(krel_platform::nativePath(directoryPath)),
      prefsFile(directoryPath, PREF_FILE_NAME) {
    const wchar_t* const context = L"krel_std::FilePreferences::FilePreferences";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Parent <%p> Name <%ls>.",
                          static_cast<const void*>(parent.get()), name.c_str());
    // Refused before its directory is made: a node that can never be saved would fail every
    // flush of its ancestors.
    if (isPathTooLongToSave(prefsFile)) {
        KrelIllegalArgumentException error(L"Path length exceeded maximum path length.");
        error.logDebug(context);
        throw error;
    }
    openStore(context);
}

FilePreferences::~FilePreferences() {
    config.removeConfigurationListener(asConfigurationListener());
}

void FilePreferences::loadNativeHandlePaths() {
    RootState& state = rootState();
    AutoLock<Lock> guard(state.rootLock);
    if (!state.userRootPath.empty()) {
        return;
    }
    const std::wstring prefsDir = KrelSystem::getInstance().getEnv(PREFS_DIR_VARIABLE);
    if (!prefsDir.empty()) {
        state.systemRootPath = preparedRoot(File(prefsDir, L"system"));
        state.userRootPath = preparedRoot(File(prefsDir, L"user"));
    } else {
        state.systemRootPath = File::getRootDirectory().getCanonicalPath();
        state.userRootPath = File::getUserDirectory().getCanonicalPath();
    }
}

std::wstring FilePreferences::rootTypePath(RootType type) {
    RootState& state = rootState();
    loadNativeHandlePaths();
    return type == USER ? state.userRootPath : state.systemRootPath;
}

std::wstring FilePreferences::rootTypePath() const {
    return rootTypePath(treeType);
}

std::wstring FilePreferences::buildFilePath(const std::wstring& base, const std::wstring& name) {
    return base + L"/" + name;
}

std::wstring FilePreferences::buildFilePath(const boost::shared_ptr<AbstractPreferences>& parent,
                                            const std::wstring& name) {
    return buildFilePath(rootTypePath(treeTypeOf(parent)) + parent->absolutePath(), name);
}

FilePreferences::RootType
FilePreferences::treeTypeOf(const boost::shared_ptr<AbstractPreferences>& parent) {
    const FilePreferences* const fileParent = dynamic_cast<const FilePreferences*>(parent.get());
    return fileParent != nullptr ? fileParent->treeType : SYSTEM;
}

const std::wstring& FilePreferences::checkedChildName(const std::wstring& name) {
    if (namesUnstorableDirectory(name)) {
        KrelIllegalArgumentException error(L"Name <" + name + L"> is not a valid directory name.");
        error.logDebug(L"krel_std::FilePreferences::FilePreferences");
        throw error;
    }
    return name;
}

std::wstring FilePreferences::rootNativeHandleName() const {
    return treeType == USER ? USER_ROOT_STR : SYSTEM_ROOT_STR;
}

std::wstring FilePreferences::buildListenerPath() {
    return rootNativeHandleName() + absolutePath();
}

void FilePreferences::openStore(const wchar_t* context) {
    AutoLock<Lock> guard(lock);
    config.setPath(prefsFile.getCanonicalFile());
    if (!nodeDirectory.exists() && !nodeDirectory.mkdirs()) {
        KREL_INTERNAL_DEBUG(context, L"Unable to create directory <%ls>.",
                            nodeDirectory.getCanonicalPath().c_str());
    }
    krel_platform::FileStamp current;
    if (readRegularFileStamp(prefsFile.getPath(), current)) {
        try {
            loadStore(current);
        } catch (const KrelException& error) {
            // The node starts empty; a later flush tells its caller when the file stays
            // unreadable.
            KREL_INTERNAL_DEBUG(context, L"Unable to read <%ls>: <%ls>.",
                                prefsFile.getCanonicalPath().c_str(), error.getMessage().c_str());
        }
    }
}

boost::shared_ptr<ConfigurationListener> FilePreferences::asConfigurationListener() {
    return boost::shared_ptr<ConfigurationListener>(static_cast<ConfigurationListener*>(this),
                                                    &doNothing);
}

boost::shared_ptr<AbstractPreferences> FilePreferences::childSpi(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FilePreferences::childSpi", L"Begin. Name <%ls>.",
                          name.c_str());
    return boost::shared_ptr<AbstractPreferences>(new FilePreferences(shared_from_this(), name));
}

// The directory's stamp is read before it is listed, so a change made during the listing shows
// as a stamp that differs at the next call.
std::vector<std::wstring> FilePreferences::childrenNamesSpi() {
    KREL_TRACE_SCOPE(L"krel_std::FilePreferences::childrenNamesSpi");
    AutoLock<Lock> guard(lock);
    krel_platform::FileStamp current;
    const bool found = krel_platform::readFileStamp(nativeDirectoryPath, current);
    if (found && listedStamp && !listedStamp->contentDiffers(current)) {
        return listedChildren;
    }
    bool linked = false;
    std::vector<std::wstring> names = listChildDirectories(directoryPath, linked);
    if (found && !linked && isSettled(current)) {
        listedStamp = current;
        listedChildren = names;
    } else {
        listedStamp = boost::none;
        listedChildren.clear();
    }
    return names;
}

bool FilePreferences::existsSpi(const std::wstring& path) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FilePreferences::existsSpi", L"Begin. Name <%ls>.",
                          path.c_str());
    return File(nodeDirectory, path).exists();
}

std::vector<std::wstring> FilePreferences::keysSpi() {
    KREL_TRACE_SCOPE(L"krel_std::FilePreferences::keysSpi");
    AutoLock<Lock> guard(lock);
    if (!heldKeys) {
        ListedKeys listed;
        config.visit(listed);
        heldKeys = std::move(listed.keys);
    }
    return *heldKeys;
}

// Called with the node's lock held. A stored value is found with one lookup; only the empty
// text, which is also the answer for a missing key, needs the second.
std::wstring FilePreferences::getSpi(const std::wstring& key) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FilePreferences::getSpi", L"Begin. Key <%ls>.", key.c_str());
    std::wstring value = config.getValue(key, unnamedSection());
    if (value.empty() && !config.containsKey(key, unnamedSection())) {
        throw KrelObjectNotFoundException(L"File or key is not found.");
    }
    return value;
}

void FilePreferences::putSpi(const std::wstring& key, const std::wstring& value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FilePreferences::putSpi", L"Begin. Key <%ls> Value <%ls>.",
                          key.c_str(), value.c_str());
    AutoLock<Lock> guard(lock);
    // Noted as the node's own change only once the configuration took it: a key or value that
    // the file cannot hold is refused here and never reaches a flush.
    checkFileCharset(config, key, value);
    if (holdsValue(key, value)) {
        // Neither reported (the configuration reports no equal value) nor written.
        return;
    }
    heldKeys = boost::none;
    config.setValue(key, value, Configuration::defaultSection);
    ownChanges[key] = value;
}

bool FilePreferences::holdsValue(const std::wstring& key, const std::wstring& value) const {
    const std::wstring stored = config.getValue(key, unnamedSection());
    return stored == value && (!stored.empty() || config.containsKey(key, unnamedSection()));
}

void FilePreferences::removeSpi(const std::wstring& key) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FilePreferences::removeSpi", L"Begin. Key <%ls>.",
                          key.c_str());
    AutoLock<Lock> guard(lock);
    ownChanges[key] = boost::none;
    heldKeys = boost::none;
    config.removeValue(key, Configuration::defaultSection);
}

void FilePreferences::flushSpi() {
    const wchar_t* const context = L"krel_std::FilePreferences::flushSpi";
    KREL_TRACE_SCOPE(context);
    storeOrRefresh(context, false);
}

void FilePreferences::syncSpi() {
    const wchar_t* const context = L"krel_std::FilePreferences::syncSpi";
    KREL_TRACE_SCOPE(context);
    storeOrRefresh(context, true);
}

void FilePreferences::storeOrRefresh(const wchar_t* context, bool always) {
    AutoLock<Lock> guard(lock);
    if (isRemoved()) {
        return;
    }
    krel_platform::FileStamp current;
    if (!ownChanges.empty() || !readRegularFileStamp(prefsFile.getPath(), current)) {
        writeStore(context);
    } else if (always || !storeStamp || storeStamp->contentDiffers(current)) {
        refreshStore(context, current);
    }
}

// Read without the update lock: every writer replaces the file in one step, so the read sees
// one whole content.
void FilePreferences::refreshStore(const wchar_t* context,
                                   const krel_platform::FileStamp& current) {
    try {
        loadStore(current);
    } catch (const KrelException& cause) {
        KrelBackingStoreException error(SAVE_FAILURE, cause);
        error.logDebug(context);
        throw error;
    }
}

// Noted only once the content is taken: a failed read is tried again by the next flush. A file
// replaced between the stamp and the read shows as a changed stamp then, and is read again.
void FilePreferences::loadStore(const krel_platform::FileStamp& current) {
    heldKeys = boost::none;
    config.load();
    storeStamp = current;
}

// The file's content is taken in without reports (changes made outside the tree are not
// reported), and this node's own changes are applied to it without reports too: they were
// reported when they were made. The file's update lock is held from before the read until the
// new file is in place, so a write of another process cannot come in between and be lost; the
// own changes are forgotten only once the file holds them.
void FilePreferences::writeStore(const wchar_t* context) {
    AutoLock<Lock> guard(lock);
    if (isRemoved()) {
        return;
    }
    try {
        krel_platform::FileUpdateLock updateLock;
        lockStore(updateLock);
        krel_platform::FileStamp current;
        if (!readRegularFileStamp(prefsFile.getPath(), current)) {
            // A file deleted outside the tree leaves only this node's own changes.
            heldKeys = boost::none;
            config.Configuration::clear();
            applyOwnChanges();
        } else {
            loadStore(current);
            applyOwnChanges();
        }
        config.save();
        ownChanges.clear();
        noteStoreStamp();
    } catch (const KrelException& cause) {
        KrelBackingStoreException error(SAVE_FAILURE, cause);
        error.logDebug(context);
        throw error;
    }
}

void FilePreferences::applyOwnChanges() {
    for (const auto& change : ownChanges) {
        if (change.second) {
            config.Configuration::setValue(change.first, *change.second,
                                           Configuration::defaultSection);
        } else {
            config.removeKeyValue(change.first, Configuration::defaultSection);
        }
    }
}

// Read while the update lock is held, so the stamp is that of the file just written.
void FilePreferences::noteStoreStamp() {
    krel_platform::FileStamp written;
    if (krel_platform::readFileStamp(prefsFile.getPath(), written)) {
        storeStamp = written;
    } else {
        storeStamp = boost::none;
    }
}

void FilePreferences::lockStore(krel_platform::FileUpdateLock& updateLock) {
    const std::wstring path = prefsFile.getCanonicalPath();
    bool locked = updateLock.acquire(path);
    if (!locked && !nodeDirectory.exists()) {
        // A directory removed outside the tree is made again, as a save makes it.
        nodeDirectory.mkdirs();
        locked = updateLock.acquire(path);
    }
    if (!locked) {
        // Told as a held or unusable file is told by the save itself.
        const int error = static_cast<int>(GetLastError());
        throw KrelIOException(
            L"Unable to open or create file.",
            KrelIOException(path + L": " + ErrorUtils::getWindowsErrorDescription(error), error));
    }
}

void FilePreferences::removeNodeSpi() {
    const wchar_t* const context = L"krel_std::FilePreferences::removeNodeSpi";
    KREL_TRACE_SCOPE(context);
    AutoLock<Lock> guard(lock);
    if (!nodeDirectory.rmdirs()) {
        KrelBackingStoreException error(L"Unable to remove node " +
                                        nodeDirectory.getCanonicalPath());
        error.logDebug(context);
        throw error;
    }
}

void FilePreferences::addPreferenceChangeListener(
    const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context = L"krel_std::FilePreferences::addPreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Listener <%p>.",
                          static_cast<const void*>(listener.get()));
    ErrorUtils::isNullEx(listener, context, L"Listener");
    AutoLock<Lock> guard(lock);
    assertNodeNotRemoved(context);
    config.addConfigurationListener(asConfigurationListener());
    notifier().addPreferenceChangeListener(buildListenerPath(), listener);
}

void FilePreferences::removePreferenceChangeListener(
    const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context = L"krel_std::FilePreferences::removePreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Listener <%p>.",
                          static_cast<const void*>(listener.get()));
    ErrorUtils::isNullEx(listener, context, L"Listener");
    AutoLock<Lock> guard(lock);
    assertNodeNotRemoved(context);
    const std::wstring path = buildListenerPath();
    const unsigned int before = notifier().getNumberOfListeners(path);
    notifier().removePreferenceChangeListener(path, listener);
    if (before == 1 && notifier().getNumberOfListeners(path) == 0) {
        config.removeConfigurationListener(asConfigurationListener());
    }
}

void FilePreferences::onConfigChange(const ConfigurationChangeEvent& event) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FilePreferences::onConfigChange", L"Begin. Event <%ls>.",
                          event.toString().c_str());
    AutoLock<Lock> guard(lock);
    // A removal reports the empty text as the new value, as the registry back end does.
    const std::wstring newValue = event.getEventType() == ConfigurationChangeEvent::Removed
                                      ? std::wstring()
                                      : event.getValue();
    notifier().enqueuePreferenceChangeEvent(PreferenceChangeEvent::newInstance(
        shared_from_this(), event.getKey(), newValue, buildListenerPath()));
}

} // namespace krel_std
