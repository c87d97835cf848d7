// The registry natives of com.vandrel.util.prefs.RegistryPreferencesJni, and initLogging. Each
// registry native opens the registry afresh through its own KrelRegistry and runs in the
// registry native frame (see RegistryNativeFrame.h).
#include <cstdio>
#include <exception>
#include <jni.h>
#include <string>
#include <vector>

#include "exception/KrelException.h"
#include "file/File.h"
#include "jni/JNIUtils.h"
#include "jni/RegistryNativeFrame.h"
#include "log/StaticLog.h"
#include "platform/Utf16.h"
#include "system/KrelRegistry.h"
#include "system/Paths.h"

using krel_std::KrelRegistry;
using krel_std_internal::newEmptyJavaString;
using krel_std_internal::newEmptyStringArray;
using krel_std_internal::newJavaString;
using krel_std_internal::RegistryNativeFrame;
using krel_std_internal::registryRoot;
using krel_std_internal::runRegistryNative;

namespace {

const wchar_t* const PARENT_KEY_VALUE_FORMAT = L"Root <%d> Parent key <%ls> Key <%ls> Value <%d>.";
const wchar_t* const PARENT_KEY_DEFAULT_FORMAT =
    L"Root <%d> Parent key <%ls> Key <%ls> Default <%d>.";
const wchar_t* const PARENT_KEY_FORMAT = L"Root <%d> Parent key <%ls> Key <%ls>.";
const wchar_t* const PARENT_KEY_TEXT_FORMAT = L"Root <%d> Parent key <%ls> Key <%ls> Value <%ls>.";
const wchar_t* const KEY_FORMAT = L"Root <%d> Key <%ls>.";

// Opens the key with the access, for the work of one native.
void openKey(KrelRegistry& registry, jint root, const std::wstring& path, REGSAM access) {
    registry.openKey(registryRoot(root), path, access);
}

// The subkeys (or the names of the values that hold data) of the key, as a String[].
jobjectArray listKey(JNIEnv* env, const krel_std_internal::NativeSite& site, jint root, jstring key,
                     std::vector<std::wstring> (KrelRegistry::*list)()) {
    return runRegistryNative<jobjectArray>(
        env, site,
        [&](RegistryNativeFrame& frame) {
            const std::wstring path = frame.keyText(key);
            frame.traceArguments(KEY_FORMAT, static_cast<int>(root), path.c_str());
            const std::vector<std::wstring> names = frame.guarded([&] {
                KrelRegistry registry;
                openKey(registry, root, path, KEY_READ);
                return (registry.*list)();
            });
            return krel_std::newJniStringArray(env, names);
        },
        [&] { return newEmptyStringArray(env); });
}

const char* const UNKNOWN_FAILURE_LINE =
    "Unable to initialize logging: Unknown error encountered.\n";

// Prints the reason logging could not start, as UTF-8 on the process's standard output (never
// through wide stdio, which would fix the stream's orientation for the whole process). Called
// by a native, on a Java VM's thread, which nothing cancels.
void reportLoggingFailure(const std::wstring& message) noexcept {
    try {
        const std::string text = krel_platform::wideToUtf8(message);
        std::fprintf(stdout, "Unable to initialize logging: %s\n", text.c_str());
    } catch (...) {
        std::fputs(UNKNOWN_FAILURE_LINE, stdout);
    }
    std::fflush(stdout);
}

} // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_setIntValue(
    JNIEnv* env, jobject, jint root, jstring parentKey, jstring key, jint value) {
    runRegistryNative(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_setIntValue"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring parent = frame.parentKeyText(parentKey);
            const std::wstring name = frame.keyText(key);
            frame.traceArguments(PARENT_KEY_VALUE_FORMAT, static_cast<int>(root), parent.c_str(),
                                 name.c_str(), static_cast<int>(value));
            frame.guarded([&] {
                KrelRegistry registry;
                openKey(registry, root, parent, KEY_WRITE);
                registry.setIntValue(name, value);
            });
        });
}

JNIEXPORT jint JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_getIntValue(
    JNIEnv* env, jobject, jint root, jstring parentKey, jstring key, jint defaultValue) {
    return runRegistryNative<jint>(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_getIntValue"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring parent = frame.parentKeyText(parentKey);
            const std::wstring name = frame.keyText(key);
            frame.traceArguments(PARENT_KEY_DEFAULT_FORMAT, static_cast<int>(root), parent.c_str(),
                                 name.c_str(), static_cast<int>(defaultValue));
            return frame.guarded([&] {
                KrelRegistry registry;
                openKey(registry, root, parent, KEY_READ);
                return static_cast<jint>(registry.getIntValue(name, defaultValue));
            });
        },
        [&] { return defaultValue; });
}

JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_deleteValue(
    JNIEnv* env, jobject, jint root, jstring parentKey, jstring key) {
    runRegistryNative(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_deleteValue"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring parent = frame.parentKeyText(parentKey);
            const std::wstring name = frame.keyText(key);
            frame.traceArguments(PARENT_KEY_FORMAT, static_cast<int>(root), parent.c_str(),
                                 name.c_str());
            frame.guarded([&] {
                KrelRegistry registry;
                openKey(registry, root, parent, KEY_WRITE);
                registry.deleteValue(name);
            });
        });
}

JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_deleteKey(JNIEnv* env,
                                                                                    jobject,
                                                                                    jint root,
                                                                                    jstring key) {
    runRegistryNative(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_deleteKey"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring path = frame.keyText(key);
            frame.traceArguments(KEY_FORMAT, static_cast<int>(root), path.c_str());
            frame.guarded([&] {
                KrelRegistry registry;
                registry.deleteKey(registryRoot(root), path);
            });
        });
}

JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey(
    JNIEnv* env, jobject, jint root, jstring key, jobject existed) {
    runRegistryNative(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring path = frame.keyText(key);
            frame.traceArguments(KEY_FORMAT, static_cast<int>(root), path.c_str());
            bool alreadyExisted = false;
            frame.guarded([&] {
                KrelRegistry registry;
                registry.createKey(alreadyExisted, registryRoot(root), path, KEY_WRITE, 0);
            });
            krel_std::setBoolean(env, existed, alreadyExisted);
        });
}

JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_setStrValue(
    JNIEnv* env, jobject, jint root, jstring parentKey, jstring key, jstring value) {
    runRegistryNative(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_setStrValue"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring parent = frame.parentKeyText(parentKey);
            const std::wstring name = frame.keyText(key);
            const std::wstring text = frame.text(value);
            frame.traceArguments(PARENT_KEY_TEXT_FORMAT, static_cast<int>(root), parent.c_str(),
                                 name.c_str(), text.c_str());
            frame.guarded([&] {
                KrelRegistry registry;
                openKey(registry, root, parent, KEY_WRITE);
                registry.setStrValue(name, text);
            });
        });
}

JNIEXPORT jstring JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_getStrValue(
    JNIEnv* env, jobject, jint root, jstring parentKey, jstring key) {
    return runRegistryNative<jstring>(
        env, KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_getStrValue"),
        [&](RegistryNativeFrame& frame) {
            const std::wstring parent = frame.parentKeyText(parentKey);
            const std::wstring name = frame.keyText(key);
            frame.traceArguments(PARENT_KEY_FORMAT, static_cast<int>(root), parent.c_str(),
                                 name.c_str());
            const std::wstring text = frame.guarded([&] {
                KrelRegistry registry;
                openKey(registry, root, parent, KEY_READ);
                return registry.getStrValue(name);
            });
            return newJavaString(env, text);
        },
        [&] { return newEmptyJavaString(env); });
}

JNIEXPORT jobjectArray JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeys(
    JNIEnv* env, jobject, jint root, jstring key) {
    return listKey(env,
                   KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeys"),
                   root, key, &KrelRegistry::getKeys);
}

JNIEXPORT jobjectArray JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeysWithValue(
    JNIEnv* env, jobject, jint root, jstring key) {
    return listKey(
        env,
        KREL_NATIVE_SITE(L"Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeysWithValue"),
        root, key, &KrelRegistry::getKeysWithValue);
}

// Points the paths provider's configuration directory at configPath and starts the static log
// from <logName>.cfg there. A failure is printed, never raised: the Java caller cannot see it.
JNIEXPORT void JNICALL Java_com_vandrel_util_prefs_RegistryPreferencesJni_initLogging(
    JNIEnv* env, jobject, jstring configPath, jstring logName) {
    try {
        try {
            const std::wstring directory = krel_std::getJniString(env, configPath);
            if (env->ExceptionCheck()) {
                return;
            }
            const std::wstring name = krel_std::getJniString(env, logName);
            if (env->ExceptionCheck()) {
                return;
            }
            const krel_std::File configDirectory(directory);
            krel_std::Paths::getInstance()->setPath(L"System Config Path Key",
                                                    configDirectory.getAbsolutePath());
            krel_std::StaticLog::initInstance(name.c_str());
        } catch (const krel_std::KrelException& e) {
            reportLoggingFailure(e.getMessage());
        } catch (const std::exception& e) {
            reportLoggingFailure(krel_platform::utf8ToWide(e.what()));
        }
    } catch (...) {
        std::fputs(UNKNOWN_FAILURE_LINE, stdout);
        std::fflush(stdout);
    }
}

} // extern "C"
