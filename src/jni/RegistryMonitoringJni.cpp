// The natives of com.vandrel.util.prefs.RegistryPreferencesJni that monitor registry keys and
// hand their changes to Java: startMonitoringKey and stopMonitoringKey attach and detach the
// key's listener, getJniCallbackData blocks for the next change, terminateJniCallback shuts the
// callback queue down. All four run in the registry native frame (see RegistryNativeFrame.h),
// so a library exception reaches Java mapped and no C++ exception reaches the VM.
#include <boost/shared_ptr.hpp>
#include <jni.h>
#include <string>

#include "jni/JniCallbackQueue.h"
#include "jni/JniPreferenceChangeListenerContainer.h"
#include "jni/RegistryNativeFrame.h"
#include "prefs/Preferences.h"

using krel_std::JniCallbackQueue;
using krel_std::JniPreferenceChangeListenerContainer;
using krel_std::Preferences;
using krel_std_internal::RegistryNativeFrame;
using krel_std_internal::runRegistryNative;

namespace {

const wchar_t* const KEY_FORMAT = L"Root <%d> Key <%ls>.";
const jint SYSTEM_ROOT = static_cast<jint>(0x80000002u);

// The node of the key in the tree of its root: the system tree for HKEY_LOCAL_MACHINE, the user
// tree for every other root. A missing key is created.
boost::shared_ptr<Preferences> monitoredNode(jint root, const std::wstring& key) {
    const boost::shared_ptr<Preferences> tree =
        root == SYSTEM_ROOT ? Preferences::systemRoot() : Preferences::userRoot();
    return tree->node(key);
}

JniPreferenceChangeListenerContainer& listeners() {
    return JniPreferenceChangeListenerContainer::getInstance();
}

JniCallbackQueue& callbackQueue() {
    return krel_std::Singleton<JniCallbackQueue>::getInstance();
}

} // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_startMonitoringKey(
    JNIEnv* env, jobject, jint root, jstring key) {
    runRegistryNative(
        env,
        KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_startMonitoringKey"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring path = frame.keyText(key);
            frame.traceArguments(KEY_FORMAT, static_cast<int>(root), path.c_str());
            frame.guarded([&] {
                const boost::shared_ptr<Preferences> node = monitoredNode(root, path);
                node->addPreferenceChangeListener(listeners().addListener(root, path));
            });
        });
}

// A key that is not monitored hands an empty listener to the node, which refuses it; the
// container's entries stay as they were.
JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_stopMonitoringKey(
    JNIEnv* env, jobject, jint root, jstring key) {
    runRegistryNative(
        env,
        KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_stopMonitoringKey"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring path = frame.keyText(key);
            frame.traceArguments(KEY_FORMAT, static_cast<int>(root), path.c_str());
            frame.guarded([&] {
                const boost::shared_ptr<Preferences> node = monitoredNode(root, path);
                node->removePreferenceChangeListener(listeners().getListener(root, path));
                listeners().removeListener(root, path);
            });
        });
}

// Null once the queue is shut down; a shut-down queue raises IllegalStateException.
JNIEXPORT jobject JNICALL
Java_com_vandrel_util_prefs_RegistryPreferencesJni_getJniCallbackData(JNIEnv* env, jobject) {
    return runRegistryNative<jobject>(
        env,
        KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_getJniCallbackData"),
        [&](RegistryNativeFrame& frame) {
            return frame.guarded([&] { return callbackQueue().dequeue(env); });
        },
        [] { return jobject(nullptr); });
}

JNIEXPORT void JNICALL
Java_com_vandrel_util_prefs_RegistryPreferencesJni_terminateJniCallback(JNIEnv* env, jobject) {
    runRegistryNative(
        env,
        KREL_NATIVE_SITE(
            L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_terminateJniCallback"),
        [&](RegistryNativeFrame& frame) { frame.guarded([&] { callbackQueue().shutdown(); }); });
}

} // extern "C"
