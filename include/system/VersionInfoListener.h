// VersionInfoListener, told of modules added to and removed from the version registry.
#pragma once

namespace krel_std {

class VersionInfo;

// Told by the version information registry of modules added and removed. Both handlers do
// nothing unless overridden. Only derived classes exist.
//
// A handler runs while the registry is held for reading: it may read the registry, but must
// not add or remove modules or listeners. A handler that throws is dropped from the registry.
class VersionInfoListener {
public:
    virtual void onModuleAdded(const VersionInfo& module);
    virtual void onModuleRemoved(const VersionInfo& module);

protected:
    VersionInfoListener();
    VersionInfoListener(const VersionInfoListener&) = default;
    VersionInfoListener& operator=(const VersionInfoListener&) = default;
    virtual ~VersionInfoListener();
};

} // namespace krel_std
