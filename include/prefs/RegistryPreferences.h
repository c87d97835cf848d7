// RegistryPreferences, the preferences back end kept in the registry.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "platform/WinReg.h"
#include "prefs/AbstractPreferences.h"

namespace krel_std {

class KrelRegistry;
class Lock;

// A preferences tree kept in the registry: one key per node, one value of the key per
// preference, the subkeys for the children. The user tree lives on HKEY_CURRENT_USER, the
// system tree on HKEY_LOCAL_MACHINE; the node at /a/b is the key a\b directly under its hive,
// and a root is the hive's own root key. Text is stored as REG_SZ, putInt writes REG_DWORD.
//
// Every operation opens its key on one registry wrapper shared by all nodes, uses it and closes
// it again, holding the node's lock and then the wrapper's lock throughout; nothing is cached,
// so every read sees what any process wrote last. A text read is first tried on the node's own
// key handle, opened at the first read and kept until the node is removed or destroyed; a key
// deleted or a hive reopened meanwhile is opened again by its path, and whatever that read does
// not answer with a text is read the full way. Failed writes are swallowed, failed reads
// answer the default, and failed listings and removals throw KrelBackingStoreException.
//
// Listeners are handed to the registry change notifier, which watches the node's key.
class RegistryPreferences : public AbstractPreferences {
public:
    // The hive handle values, as they travel through an int.
    static const int SHKEY_CURRENT_USER;
    static const int SHKEY_LOCAL_MACHINE;

    static const std::wstring& HKEY_CURRENT_USER_STR();
    static const std::wstring& HKEY_LOCAL_MACHINE_STR();

    // The roots of the two trees, made on first use and kept until the process ends.
    static boost::shared_ptr<Preferences> getUserRoot();
    static boost::shared_ptr<Preferences> getSystemRoot();

    ~RegistryPreferences() override;

    // Watches this node's key for the listener; a key that cannot be watched throws and keeps
    // no listener. A null listener throws KrelIllegalArgumentException.
    void addPreferenceChangeListener(
        const boost::shared_ptr<PreferenceChangeListener>& listener) override;
    // A REG_DWORD as stored, a REG_SZ read as a decimal number; def when absent or unreadable.
    int getInt(const std::wstring& key, int def) override;
    // Writes a REG_DWORD; a failed write is swallowed.
    void putInt(const std::wstring& key, int value) override;
    void removePreferenceChangeListener(
        const boost::shared_ptr<PreferenceChangeListener>& listener) override;
    // The hive's name followed by the absolute path, with '\' separators:
    // "HKEY_CURRENT_USER\a\b", "HKEY_CURRENT_USER\" for the user root.
    std::wstring buildListenerPath() override;

protected:
    std::vector<std::wstring> childrenNamesSpi() override;
    boost::shared_ptr<AbstractPreferences> childSpi(const std::wstring& name) override;
    bool existsSpi(const std::wstring& path) override;
    std::vector<std::wstring> keysSpi() override;
    // Reads a text of any length: a value longer than the wrapper's buffer is read again in
    // full.
    std::wstring getSpi(const std::wstring& key) override;
    void putSpi(const std::wstring& key, const std::wstring& value) override;
    void removeSpi(const std::wstring& key) override;
    void flushSpi() override;
    void syncSpi() override;
    void removeNodeSpi() override;

private:
    // A root on the hive; creates the hive's root key when it can.
    RegistryPreferences(int hive, const std::wstring& name);
    // A child of parent; creates its key when it can.
    RegistryPreferences(const boost::shared_ptr<AbstractPreferences>& parent,
                        const std::wstring& name);

    static KrelRegistry& registry();
    static Lock& rootLock();
    static boost::shared_ptr<Preferences>& userRootHolder();
    static boost::shared_ptr<Preferences>& systemRootHolder();

    // The hive of this node's own tree: HKEY_CURRENT_USER for the user tree.
    int rootNativeHandle() const;
    std::wstring rootNativeHandleName() const;
    static std::wstring buildRegistryPath(const std::wstring& path);
    static std::wstring buildRegistryPath(const std::wstring& parentPath, const std::wstring& name);
    // Creates (or opens) the key and closes it again; failures are swallowed.
    void createNodeKey(const std::wstring& keyPath);
    const std::wstring& nodeKey() const;
    // Reads a text value that fits the wrapper's buffer through the kept key, opening the key
    // when none is kept or the kept one is gone; false for anything else, which the caller
    // reads the full way. Called with the node's lock held.
    bool readKeptText(const std::wstring& key, std::wstring& text);
    void closeKeptKey();

    // The hive of the tree this node belongs to, fixed when the node is made.
    const int hive;
    // The node's key path below its hive; a node's path never changes.
    const std::wstring keyPath;
    // The node's key opened for reading values, or null; guarded by the node's lock.
    HKEY keptKey = nullptr;
};

} // namespace krel_std
