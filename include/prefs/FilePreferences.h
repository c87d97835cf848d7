// FilePreferences, the back end that keeps each node in a directory with a prefs.cfg.
#pragma once

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>
#include <vector>

#include "config/ConfigurationListener.h"
#include "config/KrelConfig.h"
#include "file/File.h"
#include "platform/FileStamp.h"
#include "prefs/AbstractPreferences.h"

namespace krel_platform {
class FileUpdateLock;
} // namespace krel_platform

namespace krel_std {

// The preferences back end that keeps each node in a directory of its own, with the node's
// preferences as the keys of the unnamed section of the INI file "prefs.cfg" in that directory.
// The user tree lives under the user's home directory, the system tree under "/". When the
// environment variable KREL_PREFS_DIR is set (read once, when the root paths are first needed)
// the user tree lives under "<dir>/user" and the system tree under "<dir>/system" instead.
//
// A node of the tree /a/b is the directory a/b below its root; a '\' in a node name nests
// directories. Making a node object makes its directory; the file is written by flush and sync.
// Any subdirectory of a node's directory counts as a child node. The names of the children are
// read from the directory at every call, and a listing is reused only while the directory's
// modification time and identity are those it was listed at, that time was over two seconds old
// then (so no later change can share it) and no child was a symbolic link: a child made or
// removed by any process before the call is in the answer, or out of it, on every file system
// that keeps the modification times of directories with the clock of this machine.
//
// The file holds text of its charset, windows-1252: put refuses a key or value holding any other
// character (a surrogate among them) with KrelIllegalArgumentException naming the key and the
// character, as it refuses one holding a line break, and stores nothing.
//
// A node reads its existing file when it is made and answers from its configuration in memory.
// A put of the value that the node already holds for the key changes nothing: it is neither
// reported nor written. Flush and sync of a node with keys put or removed through it since its
// last flush or sync, or without a file, write the file as it is on disk at that moment plus
// those keys, and the node then holds that content, so changes made by other processes (or by
// hand) are kept and taken in. Flush and sync of any other node write nothing: sync reads the
// file again, flush reads it when its stamp (identity, size and modification time) differs from
// that of the content the node holds, so a change in place by hand that keeps the size within
// one step of the file system's clock after the node's last read goes unseen until the next
// change of the file. A write always reads the file first: a file another process wrote may
// carry the identity of one this node wrote, freed and given again. The read and the write of
// a flush run under the file's update lock (the side file ".prefs.cfg.lock" in the node's
// directory), so flushes of several processes to one node keep every update; a flush that finds
// the lock or the file held by another process fails at once with KrelBackingStoreException
// (whose causes carry ERROR_SHARING_VIOLATION) and keeps the node's changes for the next flush.
// Outside changes are never reported to listeners; changes made through the tree are, at once, on
// the caller's thread, as one preference change event per changed key (a removal with the empty
// text).
class FilePreferences : public AbstractPreferences, public ConfigurationListener {
public:
    // Which tree a root stands for.
    enum RootType { USER = 0, SYSTEM = 1 };

    ~FilePreferences() override;

    // The roots of the two trees, made on first call and kept until the process ends.
    static boost::shared_ptr<Preferences> getUserRoot();
    static boost::shared_ptr<Preferences> getSystemRoot();

    void addPreferenceChangeListener(
        const boost::shared_ptr<PreferenceChangeListener>& listener) override;
    // The node stops listening to its configuration when this removal leaves its listener path
    // without listeners.
    void removePreferenceChangeListener(
        const boost::shared_ptr<PreferenceChangeListener>& listener) override;
    // "USER_ROOT" or "SYSTEM_ROOT" followed by the absolute path: "USER_ROOT/a/b".
    std::wstring buildListenerPath() override;

    // Turns one change of the node's configuration into a preference change event.
    void onConfigChange(const ConfigurationChangeEvent& event) override;

protected:
    std::vector<std::wstring> childrenNamesSpi() override;
    boost::shared_ptr<AbstractPreferences> childSpi(const std::wstring& name) override;
    bool existsSpi(const std::wstring& path) override;
    // The keys of the node whose value is not the empty text.
    std::vector<std::wstring> keysSpi() override;
    std::wstring getSpi(const std::wstring& key) override;
    void putSpi(const std::wstring& key, const std::wstring& value) override;
    void removeSpi(const std::wstring& key) override;
    void flushSpi() override;
    void syncSpi() override;
    void removeNodeSpi() override;

private:
    // A root of the given type; the name must be empty in practice (a root's name is empty).
    FilePreferences(RootType type, const std::wstring& name);
    // A child of a file node. A name any of whose '\'-separated pieces is "." or "..", or
    // longer than 255 bytes in UTF-8, is refused with KrelIllegalArgumentException before
    // anything is made: such a directory could never hold the node. So is a child whose file, or
    // the temporary it is saved through, would have a path longer than 4095 bytes in UTF-8.
    FilePreferences(const boost::shared_ptr<AbstractPreferences>& parent, const std::wstring& name);

    // Sets the two root paths once, making the KREL_PREFS_DIR roots when missing.
    static void loadNativeHandlePaths();
    static std::wstring rootTypePath(RootType type);
    static std::wstring buildFilePath(const std::wstring& base, const std::wstring& name);
    static std::wstring buildFilePath(const boost::shared_ptr<AbstractPreferences>& parent,
                                      const std::wstring& name);
    static RootType treeTypeOf(const boost::shared_ptr<AbstractPreferences>& parent);
    static const std::wstring& checkedChildName(const std::wstring& name);
    static boost::shared_ptr<Preferences> getRoot(RootType type);

    // The root path of this node's own tree.
    std::wstring rootTypePath() const;
    // "USER_ROOT" for a node of the user tree, else "SYSTEM_ROOT".
    std::wstring rootNativeHandleName() const;
    // Binds the configuration to prefs.cfg, makes the directory and reads an existing file.
    void openStore(const wchar_t* context);
    // This node as its configuration holds it: a pointer that does not own it.
    boost::shared_ptr<ConfigurationListener> asConfigurationListener();
    // Writes the file when the node has changes of its own or no file, else takes the file in
    // (always, or only when it changed since the node took it in).
    void storeOrRefresh(const wchar_t* context, bool always);
    // Merges the file's current content with this node's own changes, writes it and keeps it.
    void writeStore(const wchar_t* context);
    // Applies this node's own changes to the configuration, without reports.
    void applyOwnChanges();
    // Takes in the content of the file whose stamp is given, without reports.
    void refreshStore(const wchar_t* context, const krel_platform::FileStamp& current);
    // Reads the file into the configuration and notes the stamp it had before the read.
    void loadStore(const krel_platform::FileStamp& current);
    // Whether the configuration holds the key with this value.
    bool holdsValue(const std::wstring& key, const std::wstring& value) const;
    // Notes the stamp of the file that the configuration now holds; none when it cannot be read.
    void noteStoreStamp();
    // Takes the update lock of the node's file, making a missing directory first; throws
    // KrelIOException when it cannot be taken.
    void lockStore(krel_platform::FileUpdateLock& updateLock);

    // Set before any member that depends on it.
    const RootType treeType;
    File nodeDirectory;
    // The directory's canonical path, and the same in the form the stand-in's calls take.
    const std::wstring directoryPath;
    const std::string nativeDirectoryPath;
    File prefsFile;
    KrelConfig config;
    // The keys put (a value) or removed (none) through this node since its last write.
    std::map<std::wstring, boost::optional<std::wstring>> ownChanges;
    // The stamp of the file as it was when the configuration last took it in or wrote it.
    boost::optional<krel_platform::FileStamp> storeStamp;
    // The keys that keysSpi answered, until the configuration next changes.
    boost::optional<std::vector<std::wstring>> heldKeys;
    // The last listing of the children and the directory's stamp before it, while reusable.
    boost::optional<krel_platform::FileStamp> listedStamp;
    std::vector<std::wstring> listedChildren;
};

} // namespace krel_std
