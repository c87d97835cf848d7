// An in-memory preferences back end for tests: one store per tree, nodes over it, and a factory
// registered in the class registry as "krel_test.MemoryPreferencesFactory". Like the file back
// end, a node with listeners queues one change event per changed, new or removed value with the
// preference change notifier.
//
// The store can be told to hide children from its listing and to fail a node's removal, and it
// keeps a journal of the flush, sync and removal calls it receives.
#pragma once

#include <boost/enable_shared_from_this.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/AutoRegisterClass.h"
#include "base/Class.h"
#include "exception/KrelBackingStoreException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "prefs/AbstractPreferences.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "prefs/PreferencesFactory.h"
#include "system/KrelSystem.h"
#include "thread/AutoLock.h"

namespace krel_test {

// The stored nodes of one tree by absolute path, each with its values.
struct MemoryStore {
    explicit MemoryStore(const std::wstring& treeName) : treeName(treeName) { nodes[L"/"]; }

    typedef std::map<std::wstring, std::wstring> Values;

    static std::wstring childPath(const std::wstring& path, const std::wstring& name) {
        return path == L"/" ? L"/" + name : path + L"/" + name;
    }

    std::vector<std::wstring> journalCopy() {
        std::lock_guard<std::mutex> guard(mutex);
        return journal;
    }

    // "USER_ROOT" style: prefixes the absolute paths in listener paths.
    const std::wstring treeName;
    std::mutex mutex;
    std::map<std::wstring, Values> nodes;
    // "flush <path>", "sync <path>", "remove <path>".
    std::vector<std::wstring> journal;
    // Paths that exist but are left out of their parent's children listing.
    std::set<std::wstring> unlisted;
    // Paths whose removal fails with KrelBackingStoreException.
    std::set<std::wstring> failingRemovals;
};

class MemoryPreferences : public krel_std::AbstractPreferences {
public:
    // A root over the store.
    explicit MemoryPreferences(const boost::shared_ptr<MemoryStore>& store)
        : store(store), ownPath(absolutePath()) {}

    MemoryPreferences(const boost::shared_ptr<MemoryPreferences>& parent, const std::wstring& name)
        : AbstractPreferences(parent, name), store(parent->store), ownPath(absolutePath()) {}

    std::wstring buildListenerPath() override { return store->treeName + ownPath; }

    void addPreferenceChangeListener(
        const boost::shared_ptr<krel_std::PreferenceChangeListener>& listener) override {
        krel_std::AutoLock<krel_std::Lock> guard(lock);
        assertNodeNotRemoved(L"krel_test::MemoryPreferences::addPreferenceChangeListener");
        notifier().addPreferenceChangeListener(buildListenerPath(), listener);
        watched = true;
    }

    void removePreferenceChangeListener(
        const boost::shared_ptr<krel_std::PreferenceChangeListener>& listener) override {
        krel_std::AutoLock<krel_std::Lock> guard(lock);
        const std::wstring path = buildListenerPath();
        notifier().removePreferenceChangeListener(path, listener);
        watched = notifier().getNumberOfListeners(path) > 0;
    }

protected:
    std::vector<std::wstring> childrenNamesSpi() override {
        const std::wstring prefix = ownPath == L"/" ? ownPath : ownPath + L"/";
        std::vector<std::wstring> names;
        std::lock_guard<std::mutex> guard(store->mutex);
        for (auto it = store->nodes.lower_bound(prefix);
             it != store->nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
            const std::wstring rest = it->first.substr(prefix.size());
            if (!rest.empty() && rest.find(L'/') == std::wstring::npos &&
                store->unlisted.count(it->first) == 0) {
                names.push_back(rest);
            }
        }
        return names;
    }

    boost::shared_ptr<krel_std::AbstractPreferences> childSpi(const std::wstring& name) override {
        const boost::shared_ptr<MemoryPreferences> child = boost::make_shared<MemoryPreferences>(
            boost::static_pointer_cast<MemoryPreferences>(shared_from_this()), name);
        std::lock_guard<std::mutex> guard(store->mutex);
        store->nodes[child->absolutePath()];
        return child;
    }

    bool existsSpi(const std::wstring& path) override {
        std::lock_guard<std::mutex> guard(store->mutex);
        return store->nodes.count(MemoryStore::childPath(ownPath, path)) > 0;
    }

    std::vector<std::wstring> keysSpi() override {
        std::vector<std::wstring> keys;
        std::lock_guard<std::mutex> guard(store->mutex);
        const auto node = store->nodes.find(ownPath);
        if (node != store->nodes.end()) {
            for (const auto& entry : node->second) {
                keys.push_back(entry.first);
            }
        }
        return keys;
    }

    std::wstring getSpi(const std::wstring& key) override {
        std::lock_guard<std::mutex> guard(store->mutex);
        const auto node = store->nodes.find(ownPath);
        const auto found =
            node != store->nodes.end() ? node->second.find(key) : MemoryStore::Values::iterator();
        if (node == store->nodes.end() || found == node->second.end()) {
            throw krel_std::KrelObjectNotFoundException(L"No value <" + key + L">.");
        }
        return found->second;
    }

    void putSpi(const std::wstring& key, const std::wstring& value) override {
        bool changed = false;
        {
            std::lock_guard<std::mutex> guard(store->mutex);
            MemoryStore::Values& stored = values();
            const auto found = stored.find(key);
            changed = found == stored.end() || found->second != value;
            stored[key] = value;
        }
        if (changed) {
            report(key, value);
        }
    }

    void removeSpi(const std::wstring& key) override {
        bool changed = false;
        {
            std::lock_guard<std::mutex> guard(store->mutex);
            changed = values().erase(key) > 0;
        }
        if (changed) {
            report(key, std::wstring());
        }
    }

    void flushSpi() override { note(L"flush "); }

    void syncSpi() override { note(L"sync "); }

    void removeNodeSpi() override {
        const std::wstring& self = ownPath;
        std::lock_guard<std::mutex> guard(store->mutex);
        if (store->failingRemovals.count(self) > 0) {
            throw krel_std::KrelBackingStoreException(L"Removal of <" + self + L"> refused.");
        }
        store->journal.push_back(L"remove " + self);
        const std::wstring prefix = self + L"/";
        store->nodes.erase(self);
        for (auto it = store->nodes.lower_bound(prefix);
             it != store->nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
            it = store->nodes.erase(it);
        }
    }

private:
    static krel_std::PreferenceChangeNotifier& notifier() {
        return krel_std::Singleton<krel_std::PreferenceChangeNotifier>::getInstance();
    }

    // This node's values, made when missing; the caller holds the store's mutex.
    MemoryStore::Values& values() { return store->nodes[ownPath]; }

    void note(const wchar_t* what) {
        std::lock_guard<std::mutex> guard(store->mutex);
        store->journal.push_back(what + ownPath);
    }

    void report(const std::wstring& key, const std::wstring& value) {
        if (watched) {
            notifier().enqueuePreferenceChangeEvent(krel_std::PreferenceChangeEvent::newInstance(
                shared_from_this(), key, value, buildListenerPath()));
        }
    }

    const boost::shared_ptr<MemoryStore> store;
    const std::wstring ownPath;
    bool watched = false;
};

// The factory of the in-memory back end: a user tree and a system tree, both replaced by
// reset().
class MemoryPreferencesFactory : public krel_std::PreferencesFactory,
                                 public krel_std::AutoRegisterClass<MemoryPreferencesFactory> {
public:
    MemoryPreferencesFactory() { reset(); }

    static std::wstring getClassNameStatic() { return L"krel_test.MemoryPreferencesFactory"; }
    std::wstring getClassName() const override { return getClassNameStatic(); }
    std::wstring toString() const override { return L"MemoryPreferencesFactory{}"; }

    boost::shared_ptr<krel_std::Preferences> systemRoot() override {
        std::lock_guard<std::mutex> guard(mutex);
        return systemNode;
    }
    boost::shared_ptr<krel_std::Preferences> userRoot() override {
        std::lock_guard<std::mutex> guard(mutex);
        return userNode;
    }

    // Fresh, empty trees.
    void reset() {
        std::lock_guard<std::mutex> guard(mutex);
        userStore = boost::make_shared<MemoryStore>(L"MEMORY_USER");
        systemStore = boost::make_shared<MemoryStore>(L"MEMORY_SYSTEM");
        userNode = boost::make_shared<MemoryPreferences>(userStore);
        systemNode = boost::make_shared<MemoryPreferences>(systemStore);
    }

    boost::shared_ptr<MemoryStore> getUserStore() {
        std::lock_guard<std::mutex> guard(mutex);
        return userStore;
    }
    boost::shared_ptr<MemoryStore> getSystemStore() {
        std::lock_guard<std::mutex> guard(mutex);
        return systemStore;
    }

    // The factory registered under getClassNameStatic(), registered on first use.
    static MemoryPreferencesFactory& registered() {
        static MemoryPreferencesFactory& factory = []() -> MemoryPreferencesFactory& {
            registerClass();
            return dynamic_cast<MemoryPreferencesFactory&>(
                *krel_std::Class::getInstance().getObject<krel_std::PreferencesFactory>(
                    getClassNameStatic()));
        }();
        return factory;
    }

private:
    std::mutex mutex;
    boost::shared_ptr<MemoryStore> userStore;
    boost::shared_ptr<MemoryStore> systemStore;
    boost::shared_ptr<MemoryPreferences> userNode;
    boost::shared_ptr<MemoryPreferences> systemNode;
};

// Chooses the in-memory back end through the system property "default.PreferencesFactory"
// (with the environment variable of that name cleared) and restores both afterwards.
class MemoryPreferencesSelection {
public:
    MemoryPreferencesSelection()
        : savedProperty(system().getProperty(variable(), L"")),
          savedEnvironment(system().getEnv(variable())) {
        MemoryPreferencesFactory::registered();
        system().putEnv(variable(), L"");
        system().setProperty(variable(), MemoryPreferencesFactory::getClassNameStatic());
    }
    MemoryPreferencesSelection(const MemoryPreferencesSelection&) = delete;
    MemoryPreferencesSelection& operator=(const MemoryPreferencesSelection&) = delete;
    ~MemoryPreferencesSelection() {
        system().putEnv(variable(), savedEnvironment);
        system().setProperty(variable(), savedProperty);
    }

    static const wchar_t* variable() { return L"default.PreferencesFactory"; }

private:
    static krel_std::KrelSystem& system() { return krel_std::KrelSystem::getInstance(); }

    const std::wstring savedProperty;
    const std::wstring savedEnvironment;
};

} // namespace krel_test
