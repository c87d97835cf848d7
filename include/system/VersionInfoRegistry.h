// VersionInfoRegistry, the process-wide version information by module name.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <set>
#include <string>

#include "pattern/Singleton.h"
#include "system/VersionInfo.h"
#include "system/VersionInfoListener.h"
#include "thread/ReadWriteLock.h"

namespace krel_std {

// The process-wide registry of version information by module name, reached through
// Singleton<VersionInfoRegistry>::getInstance(). Listeners hear of modules added and removed.
//
// Reads and notifications run under the read lock, changes under the write lock. A listener is
// told of an addition after the module is stored, and of a removal before it is erased, so it
// may read the registry while it is told. A listener that throws is dropped: such listeners
// are collected while the others are told and erased under the write lock afterwards, so two
// notifications running side by side never see the listener set change.
class VersionInfoRegistry : public Singleton<VersionInfoRegistry>, private boost::noncopyable {
public:
    virtual ~VersionInfoRegistry();

    // Stores a copy and tells the listeners. Throws KrelIllegalArgumentException "Module name
    // cannont be empty" for an empty name and "Module by that name already exists" for a name
    // present (the stored module stays as it was).
    void addModule(const VersionInfo& module);
    // Tells the listeners, then erases the module. Throws KrelIllegalArgumentException "Module
    // of that name is not found" for a name not present.
    void removeModule(const std::wstring& name);
    // A copy of the module's information. Throws KrelIllegalArgumentException "Module by that
    // name is not found" for a name not present.
    VersionInfo getModule(const std::wstring& name);
    std::set<std::wstring> getModuleList();

    // A listener is held once, however often it is added.
    void addListener(const boost::shared_ptr<VersionInfoListener>& listener);
    void removeListener(const boost::shared_ptr<VersionInfoListener>& listener);

private:
    friend class Singleton<VersionInfoRegistry>;

    typedef std::set<boost::shared_ptr<VersionInfoListener>> ListenerSet;
    typedef void (VersionInfoListener::*Notification)(const VersionInfo&);

    VersionInfoRegistry();

    static const wchar_t* getSingletonName();

    // Calls every listener with the module; answers the listeners that threw. The caller holds
    // the read lock.
    ListenerSet notifyListeners(Notification notification, const VersionInfo& module) const;
    // Erases the listeners under the write lock.
    void dropListeners(const ListenerSet& failed);
    // The caller holds the write lock.
    void eraseListeners(const ListenerSet& failed);

    ReadWriteLock lock;
    std::map<std::wstring, VersionInfo> modules;
    ListenerSet listeners;
};

extern template class Singleton<VersionInfoRegistry>;

} // namespace krel_std
