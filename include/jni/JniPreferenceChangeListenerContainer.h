// JniPreferenceChangeListenerContainer, the listeners of the keys Java monitors.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "jni/JniPreferenceChangeListener.h"
#include "pattern/Singleton.h"
#include "thread/Lock.h"

namespace krel_std {

// The listeners of the keys that Java monitors, one per key: the entry of a key lives from its
// first startMonitoringKey to its stopMonitoringKey. Entries are keyed by the root as a signed
// decimal number followed directly by the key path exactly as the caller wrote it, so "a\b" and
// "a/b" are two entries. The map has a lock of its own, taken for each call and never held while
// a node is called, so Java threads may start and stop monitoring at the same time.
//
// The instance is never deleted.
class JniPreferenceChangeListenerContainer : public Singleton<JniPreferenceChangeListenerContainer>,
                                             private boost::noncopyable {
    friend class Singleton<JniPreferenceChangeListenerContainer>;

public:
    ~JniPreferenceChangeListenerContainer();

    // The listener of the key, made and entered when the key has none.
    boost::shared_ptr<JniPreferenceChangeListener> addListener(int root, const std::wstring& key);
    // The listener of the key, or an empty pointer when the key is not monitored.
    boost::shared_ptr<JniPreferenceChangeListener> getListener(int root, const std::wstring& key);
    // Erases the key's entry when there is one.
    void removeListener(int root, const std::wstring& key);

private:
    JniPreferenceChangeListenerContainer();

    static const wchar_t* getSingletonName();
    static std::wstring entryKey(int root, const std::wstring& key);

    Lock mapLock;
    std::map<std::wstring, boost::shared_ptr<JniPreferenceChangeListener>> listeners;
};

} // namespace krel_std
