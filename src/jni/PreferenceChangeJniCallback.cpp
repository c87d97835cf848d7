#include "jni/PreferenceChangeJniCallback.h"

#include <string>

#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "platform/Utf16.h"

namespace krel_std {

namespace {

const char* const CALLBACK_CLASS = "com/vandrel/util/prefs/PreferenceChangeCallback";
const char* const CALLBACK_CONSTRUCTOR_SIGNATURE =
    "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V";

// Deletes one local reference of the calling thread when the scope ends, so that the class and
// the strings do not pile up on a thread that calls the queue in a loop without returning to
// Java.
class LocalReference {
public:
    LocalReference(JNIEnv* env, jobject reference) : env(env), reference(reference) {}
    LocalReference(const LocalReference&) = delete;
    LocalReference& operator=(const LocalReference&) = delete;
    ~LocalReference() {
        if (reference != nullptr) {
            env->DeleteLocalRef(reference);
        }
    }

    jobject get() const { return reference; }

private:
    JNIEnv* const env;
    const jobject reference;
};

// The text as a Java string of its full UTF-16 length; null with OutOfMemoryError pending when
// the VM cannot make it.
jstring newJavaString(JNIEnv* env, const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text);
    return env->NewString(reinterpret_cast<const jchar*>(units.data()),
                          static_cast<jsize>(units.size()));
}

} // namespace

PreferenceChangeJniCallback::PreferenceChangeJniCallback(int root, const std::wstring& path,
                                                         const std::wstring& key,
                                                         const std::wstring& newValue)
    : root(root), path(path), key(key), newValue(newValue) {
    const wchar_t* const context =
        L"krel_std::PreferenceChangeJniCallback::PreferenceChangeJniCallback";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Root <%d> Path <%ls> Key <%ls> Value <%ls>.", root,
                          path.c_str(), key.c_str(), newValue.c_str());
    ErrorUtils::isEmptyEx(path, context, L"Path");
    ErrorUtils::isEmptyEx(key, context, L"Key");
}

// Each JNI call is checked: a consumer whose class path lacks the callback class gets the VM's
// NoClassDefFoundError rather than a crash.
jobject PreferenceChangeJniCallback::createJniObject(JNIEnv* env) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::PreferenceChangeJniCallback::createJniObject",
                          L"Begin. JNI Env <%p>.", static_cast<void*>(env));
    const LocalReference type(env, env->FindClass(CALLBACK_CLASS));
    if (type.get() == nullptr) {
        return nullptr;
    }
    const jclass callbackClass = static_cast<jclass>(type.get());
    const jmethodID constructor =
        env->GetMethodID(callbackClass, "<init>", CALLBACK_CONSTRUCTOR_SIGNATURE);
    if (constructor == nullptr) {
        return nullptr;
    }
    const LocalReference javaPath(env, newJavaString(env, path));
    if (javaPath.get() == nullptr) {
        return nullptr;
    }
    const LocalReference javaKey(env, newJavaString(env, key));
    if (javaKey.get() == nullptr) {
        return nullptr;
    }
    const LocalReference javaValue(env, newJavaString(env, newValue));
    if (javaValue.get() == nullptr) {
        return nullptr;
    }
    return env->NewObject(callbackClass, constructor, static_cast<jint>(root), javaPath.get(),
                          javaKey.get(), javaValue.get());
}

} // namespace krel_std
