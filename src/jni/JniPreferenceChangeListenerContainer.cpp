#include "jni/JniPreferenceChangeListenerContainer.h"

#include <boost/make_shared.hpp>

#include "thread/AutoLock.h"

namespace krel_std {

JniPreferenceChangeListenerContainer::JniPreferenceChangeListenerContainer() = default;

JniPreferenceChangeListenerContainer::~JniPreferenceChangeListenerContainer() = default;

const wchar_t* JniPreferenceChangeListenerContainer::getSingletonName() {
    return L"JniPreferenceChangeListenerContainer";
}

// 0x80000002 gives "-2147483646" before the key.
std::wstring JniPreferenceChangeListenerContainer::entryKey(int root, const std::wstring& key) {
    return std::to_wstring(root) + key;
}

boost::shared_ptr<JniPreferenceChangeListener>
JniPreferenceChangeListenerContainer::addListener(int root, const std::wstring& key) {
    const std::wstring entry = entryKey(root, key);
    AutoLock<Lock> guard(mapLock);
    auto found = listeners.find(entry);
    if (found == listeners.end()) {
        found = listeners.emplace(entry, boost::make_shared<JniPreferenceChangeListener>()).first;
    }
    return found->second;
}

boost::shared_ptr<JniPreferenceChangeListener>
JniPreferenceChangeListenerContainer::getListener(int root, const std::wstring& key) {
    const std::wstring entry = entryKey(root, key);
    AutoLock<Lock> guard(mapLock);
    const auto found = listeners.find(entry);
    return found != listeners.end() ? found->second
                                    : boost::shared_ptr<JniPreferenceChangeListener>();
}

void JniPreferenceChangeListenerContainer::removeListener(int root, const std::wstring& key) {
    const std::wstring entry = entryKey(root, key);
    AutoLock<Lock> guard(mapLock);
    listeners.erase(entry);
}

} // namespace krel_std
