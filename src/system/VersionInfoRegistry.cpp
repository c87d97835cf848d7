#include "system/VersionInfoRegistry.h"

#include "exception/KrelIllegalArgumentException.h"
#include "internal/GuardedCall.h"

namespace krel_std {

template class Singleton<VersionInfoRegistry>;

VersionInfoRegistry::VersionInfoRegistry() : lock(32) {}

VersionInfoRegistry::~VersionInfoRegistry() = default;

const wchar_t* VersionInfoRegistry::getSingletonName() {
    return L"krel_std::VersionInfoRegistry";
}

void VersionInfoRegistry::addModule(const VersionInfo& module) {
    const std::wstring name = module.getModuleName();
    if (name.empty()) {
        throw KrelIllegalArgumentException(L"Module name cannont be empty");
    }
    {
        ReadWriteLock::WriterLock guard(lock);
        if (!modules.emplace(name, module).second) {
            throw KrelIllegalArgumentException(L"Module by that name already exists");
        }
    }
    ListenerSet failed;
    {
        ReadWriteLock::ReaderLock guard(lock);
        const auto stored = modules.find(name);
        if (stored != modules.end()) {
            failed = notifyListeners(&VersionInfoListener::onModuleAdded, stored->second);
        }
    }
    dropListeners(failed);
}

void VersionInfoRegistry::removeModule(const std::wstring& name) {
    ListenerSet failed;
    {
        ReadWriteLock::ReaderLock guard(lock);
        const auto stored = modules.find(name);
        if (stored == modules.end()) {
            throw KrelIllegalArgumentException(L"Module of that name is not found");
        }
        failed = notifyListeners(&VersionInfoListener::onModuleRemoved, stored->second);
    }
    ReadWriteLock::WriterLock guard(lock);
    modules.erase(name);
    eraseListeners(failed);
}

VersionInfo VersionInfoRegistry::getModule(const std::wstring& name) {
    ReadWriteLock::ReaderLock guard(lock);
    const auto stored = modules.find(name);
    if (stored == modules.end()) {
        throw KrelIllegalArgumentException(L"Module by that name is not found");
    }
    return stored->second;
}

std::set<std::wstring> VersionInfoRegistry::getModuleList() {
    ReadWriteLock::ReaderLock guard(lock);
    std::set<std::wstring> names;
    for (const auto& entry : modules) {
        names.insert(names.end(), entry.first);
    }
    return names;
}

void VersionInfoRegistry::addListener(const boost::shared_ptr<VersionInfoListener>& listener) {
    ReadWriteLock::WriterLock guard(lock);
    listeners.insert(listener);
}

void VersionInfoRegistry::removeListener(const boost::shared_ptr<VersionInfoListener>& listener) {
    ReadWriteLock::WriterLock guard(lock);
    listeners.erase(listener);
}

// Only read access is held here, and another thread may be telling the same listeners: the
// set is left as it is and the listeners that threw are handed back for removal.
VersionInfoRegistry::ListenerSet
VersionInfoRegistry::notifyListeners(Notification notification, const VersionInfo& module) const {
    ListenerSet failed;
    for (const auto& listener : listeners) {
        const bool told = krel_std_internal::callGuarded(
            L"krel_std::VersionInfoRegistry::notifyListeners",
            [] { return std::wstring(L"VersionInfoListener, to be removed,"); },
            [&] { ((*listener).*notification)(module); });
        if (!told) {
            failed.insert(listener);
        }
    }
    return failed;
}

void VersionInfoRegistry::dropListeners(const ListenerSet& failed) {
    if (failed.empty()) {
        return;
    }
    ReadWriteLock::WriterLock guard(lock);
    eraseListeners(failed);
}

void VersionInfoRegistry::eraseListeners(const ListenerSet& failed) {
    for (const auto& listener : failed) {
        listeners.erase(listener);
    }
}

} // namespace krel_std
