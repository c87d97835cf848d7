#include "jni/JniPreferenceChangeListener.h"

#include <algorithm>
#include <boost/make_shared.hpp>
#include <string>

#include "exception/KrelException.h"
#include "jni/JniCallbackQueue.h"
#include "jni/PreferenceChangeJniCallback.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/Preferences.h"

namespace krel_std {

namespace {

// The registry roots' handle values, as Java receives them.
const int USER_ROOT = static_cast<int>(0x80000001u);
const int SYSTEM_ROOT = static_cast<int>(0x80000002u);

// "/a/b/c" becomes "a\b\c": the node's key path below its root, as the registry writes it.
std::wstring registryPath(const std::wstring& absolutePath) {
    std::wstring path =
        !absolutePath.empty() && absolutePath[0] == L'/' ? absolutePath.substr(1) : absolutePath;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

} // namespace

// Runs on the dispatch thread: an exception let out would end it, so the change that cannot be
// queued is the one thing lost.
void JniPreferenceChangeListener::preferenceChange(
    const boost::shared_ptr<PreferenceChangeEvent>& event) {
    try {
        const boost::shared_ptr<Preferences> node = event ? event->getNode() : nullptr;
        if (!node) {
            return;
        }
        const int root = node->isUserNode() ? USER_ROOT : SYSTEM_ROOT;
        const boost::shared_ptr<IJniCallback> callback =
            boost::make_shared<PreferenceChangeJniCallback>(
                root, registryPath(node->absolutePath()), event->getKey(), event->getNewValue());
        Singleton<JniCallbackQueue>::getInstance().enqueue(callback);
    } catch (const KrelException&) {
        // A shut-down queue, an empty key or a root's empty path: the change is dropped.
    }
}

} // namespace krel_std
