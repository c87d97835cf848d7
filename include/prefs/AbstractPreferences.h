// AbstractPreferences, the node skeleton of every preferences back end.
#pragma once

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>
#include <vector>

#include "prefs/Preferences.h"
#include "thread/Lock.h"

namespace krel_std {

// The node skeleton of every preferences back end. It implements the whole node interface over
// ten storage operations (the ...Spi operations) that a back end fills, and owns the tree
// mechanics: name and path rules, the cache of child nodes, path resolution, the default-value
// rule of the getters, the text forms of typed values, recursive flush and sync and removal.
//
// Every storage operation of a node is called with that node's lock held (childSpi on the
// parent, under the parent's lock). Locks are taken from the root towards the leaves. Listener
// registration is left to the back ends: the two listener operations do nothing here.
//
// Nodes are always held by boost::shared_ptr.
class AbstractPreferences : public Preferences,
                            public boost::enable_shared_from_this<AbstractPreferences> {
public:
    ~AbstractPreferences() override;

    // "User Preference Node: <absolute path>" or "System Preference Node: <absolute path>".
    std::wstring toString() const override;
    // "/" for a root, else "/a/b" style.
    std::wstring absolutePath() const override;
    void addPreferenceChangeListener(
        const boost::shared_ptr<PreferenceChangeListener>& listener) override;
    // The cached children's names and the store's, once each, in ascending order.
    std::vector<std::wstring> childrenNames() override;
    void clear() override;
    void exportNode(const std::wstring& fileName) override;
    void exportSubtree(const std::wstring& fileName) override;
    // Writes this node and then its cached descendants, parents first.
    void flush() override;
    // The stored value, or def when the store has none. An empty key, a key over 80 characters
    // and a removed node throw.
    std::wstring get(const std::wstring& key, const std::wstring& def) override;
    bool getBoolean(const std::wstring& key, bool def) override;
    boost::shared_ptr<ByteArray> getByteArray(const std::wstring& key,
                                              const ByteArray& def) override;
    double getDouble(const std::wstring& key, double def) override;
    float getFloat(const std::wstring& key, float def) override;
    int getInt(const std::wstring& key, int def) override;
    long long getLongLong(const std::wstring& key, long long def) override;
    // Whether this node's tree root is the user root of the factory in use.
    bool isUserNode() const override;
    std::vector<std::wstring> keys() override;
    std::wstring name() override;
    // The node at a relative path below this node, or at an absolute path from this node's own
    // tree root; missing nodes are made.
    boost::shared_ptr<Preferences> node(const std::wstring& path) override;
    bool nodeExists(const std::wstring& path) override;
    boost::shared_ptr<Preferences> parent() override;
    void put(const std::wstring& key, const std::wstring& value) override;
    void putBoolean(const std::wstring& key, bool value) override;
    void putByteArray(const std::wstring& key, const ByteArray& value) override;
    void putDouble(const std::wstring& key, double value) override;
    void putFloat(const std::wstring& key, float value) override;
    void putInt(const std::wstring& key, int value) override;
    void putLongLong(const std::wstring& key, long long value) override;
    void remove(const std::wstring& key) override;
    // Removes this node and its subtree from the store; a root cannot be removed.
    void removeNode() override;
    void removePreferenceChangeListener(
        const boost::shared_ptr<PreferenceChangeListener>& listener) override;
    // Writes and re-reads this node and then its cached descendants, parents first.
    void sync() override;

protected:
    // A root: no parent, the empty name.
    AbstractPreferences();
    // A child of parent named name (at most 80 characters, no '/').
    AbstractPreferences(const boost::shared_ptr<AbstractPreferences>& parent,
                        const std::wstring& name);

    // The cached child nodes in name order; the caller holds this node's lock.
    virtual std::vector<boost::shared_ptr<AbstractPreferences>> cachedChildren();
    virtual bool isRemoved();
    // childSpi(name) when the store lists the child, else an empty pointer; the cache is
    // neither read nor filled.
    virtual boost::shared_ptr<AbstractPreferences> getChild(const std::wstring& name);

    // The storage interface of a back end.
    virtual std::vector<std::wstring> childrenNamesSpi() = 0;
    // A new node object for the child, made in the store when missing.
    virtual boost::shared_ptr<AbstractPreferences> childSpi(const std::wstring& name) = 0;
    // Whether the descendant at this relative path exists in the store.
    virtual bool existsSpi(const std::wstring& path) = 0;
    virtual std::vector<std::wstring> keysSpi() = 0;
    // The stored value; throws a KrelException when there is none.
    virtual std::wstring getSpi(const std::wstring& key) = 0;
    virtual void putSpi(const std::wstring& key, const std::wstring& value) = 0;
    virtual void removeSpi(const std::wstring& key) = 0;
    virtual void flushSpi() = 0;
    virtual void syncSpi() = 0;
    // Removes this node's whole subtree from the store.
    virtual void removeNodeSpi() = 0;

    // Throws KrelIllegalStateException "Node removed" when the node has been removed.
    void assertNodeNotRemoved(const wchar_t* context);

    // Guards the fields below and every storage call of this node.
    Lock lock;

private:
    std::wstring path() const;
    void assertValidPath(const std::wstring& path, const wchar_t* context);
    void splitPathToChildNameAndPath(std::wstring& childName, std::wstring& rest,
                                     const std::wstring& path);
    boost::shared_ptr<AbstractPreferences> getNode(const std::wstring& path);
    bool existsNode(const std::wstring& path);
    // The root of this node's own tree.
    boost::shared_ptr<AbstractPreferences> getRootNode();
    void flushNode(bool sync);
    void purge();

    boost::shared_ptr<AbstractPreferences> parentNode;
    std::wstring parentPath;
    std::wstring nodeName;
    bool removed;
    std::map<std::wstring, boost::shared_ptr<AbstractPreferences>> childCache;
};

} // namespace krel_std
