// RegistryListener, which watches one registry key and reports its changed values.
#pragma once

#include <boost/noncopyable.hpp>
#include <map>
#include <string>

#include "platform/WinTypes.h"
#include "system/KrelRegistry.h"

namespace krel_std {

// Watches one registry key for the registry change notifier. It holds the key open, arms the
// registry's one-shot change notification on an event of its own, keeps a snapshot of the
// key's values as text, and, once the event has fired, turns every new, changed or deleted
// value into a preference change event for the node of that key.
//
// The wrapper's recursive lock guards the key, the event, the snapshot and the shut-down flag.
// Events are queued with that lock released, since queuing resolves preference nodes.
class RegistryListener : public KrelRegistry, private boost::noncopyable {
public:
    // A listener for path below root; the key is opened later. A null root, an empty path or
    // an event that cannot be made throws KrelIllegalArgumentException.
    RegistryListener(HKEY root, const std::wstring& keyPath);
    // Shuts down, then the wrapper closes the key.
    ~RegistryListener() override;

    // "RegistryListener{<KrelRegistry text>,root=80000001,isShutdown=false}".
    std::wstring toString() const override;

    // Arms the notification on the key (opened when not open). A failure closes the key and
    // throws the wrapper's exception for the Windows code.
    void registerListener();
    void deregisterListener();
    // Takes the snapshot of the key's values.
    void updateKeyValues();
    // Compares the key's values with the snapshot and queues one event per change: new and
    // changed values in the registry's order, then deleted ones by name with the empty text.
    void updateAndNotify();
    // Closes the event; every later operation throws KrelIllegalStateException.
    void shutdown();

    HANDLE getWaitHandle() const;
    // The number of values in the snapshot.
    int size() const;

private:
    RegistryListener();

    typedef std::map<std::wstring, std::wstring> Snapshot;

    // Queues the change for the node of this listener's key; a key path the tree refuses as a
    // node path drops the change.
    void notify(const std::wstring& key, const std::wstring& value);
    void checkShutdown(const wchar_t* context) const;
    // The value's whole text: the wrapper's text, or the value read again in full when the
    // wrapper's buffer could not hold it.
    std::wstring wholeText(const std::wstring& name, const std::wstring& text);

    HANDLE eventHandle;
    HKEY root;
    Snapshot snapshot;
    bool isShutdown;
};

} // namespace krel_std
