#include "jni/JNIUtils.h"

#include <limits>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/FaultTranslator.h"
#include "jni/JavaStrings.h"
#include "jni/LocalFrame.h"
#include "platform/Utf16.h"

namespace krel_std {

namespace {

using krel_std_internal::FaultTranslator;
using krel_std_internal::LocalFrame;
using krel_std_internal::newJavaString;
using krel_std_internal::throwOutOfMemory;

// Local references a utility holds at once, at most.
const jint UTILITY_FRAME_CAPACITY = 8;

// Whether `object` is the shared Boolean constant held in the static field `name`. A failed
// lookup leaves its error pending and answers false.
bool isSharedConstant(JNIEnv* env, jclass booleanClass, const char* name, jobject object) {
    const jfieldID field = env->GetStaticFieldID(booleanClass, name, "Ljava/lang/Boolean;");
    if (field == nullptr) {
        return false;
    }
    const jobject constant = env->GetStaticObjectField(booleanClass, field);
    return constant != nullptr && env->IsSameObject(constant, object);
}

} // namespace

std::wstring getJniString(JNIEnv* env, jstring str) {
    if (str == nullptr) {
        return std::wstring();
    }
    FaultTranslator::ActiveScope vmCall(false);
    std::u16string units;
    const jsize length = env->GetStringLength(str);
    const jchar* chars = env->GetStringChars(str, nullptr);
    if (chars != nullptr) {
        units.assign(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(length));
        env->ReleaseStringChars(str, chars);
    }
    env->DeleteLocalRef(str);
    return krel_platform::utf16ToWide(units);
}

void setBoolean(JNIEnv* env, jobject booleanObject, bool value) {
    if (booleanObject == nullptr) {
        KREL_INTERNAL_DEBUG(L"krel_std::setBoolean", L"Boolean object is NULL. Nothing set.");
        return;
    }
    FaultTranslator::ActiveScope vmCall(false);
    LocalFrame frame(env, UTILITY_FRAME_CAPACITY);
    if (!frame.isOpen()) {
        return;
    }
    const jclass booleanClass = env->FindClass("java/lang/Boolean");
    if (booleanClass == nullptr) {
        return;
    }
    if (!env->IsInstanceOf(booleanObject, booleanClass)) {
        throwIllegalArgumentException(env, L"Object is not a java.lang.Boolean.", true);
        return;
    }
    const bool shared =
        isSharedConstant(env, booleanClass, "TRUE", booleanObject) ||
        (!env->ExceptionCheck() && isSharedConstant(env, booleanClass, "FALSE", booleanObject));
    if (env->ExceptionCheck()) {
        return;
    }
    if (shared) {
        KREL_INTERNAL_DEBUG(L"krel_std::setBoolean",
                            L"Boolean object is a shared constant. Nothing set.");
        return;
    }
    const jmethodID constructor = env->GetMethodID(booleanClass, "<init>", "(Z)V");
    if (constructor == nullptr) {
        return;
    }
    env->CallNonvirtualVoidMethod(booleanObject, booleanClass, constructor,
                                  static_cast<jboolean>(value ? JNI_TRUE : JNI_FALSE));
    // What the constructor threw stays pending for the caller.
    env->ExceptionCheck();
}

jobjectArray newJniStringArray(JNIEnv* env, const std::vector<std::wstring>& list) {
    FaultTranslator::ActiveScope vmCall(false);
    LocalFrame frame(env, UTILITY_FRAME_CAPACITY);
    if (!frame.isOpen()) {
        return nullptr;
    }
    if (list.size() > static_cast<size_t>(std::numeric_limits<jsize>::max())) {
        throwOutOfMemory(env, "Array too long");
        return nullptr;
    }
    const jclass stringClass = env->FindClass("java/lang/String");
    if (stringClass == nullptr) {
        return nullptr;
    }
    const jobjectArray array =
        env->NewObjectArray(static_cast<jsize>(list.size()), stringClass, nullptr);
    if (array == nullptr) {
        return nullptr;
    }
    for (size_t index = 0; index < list.size(); ++index) {
        const jstring element = newJavaString(env, list[index]);
        if (element == nullptr) {
            return nullptr;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(index), element);
        env->DeleteLocalRef(element);
        if (env->ExceptionCheck()) {
            return nullptr;
        }
    }
    return static_cast<jobjectArray>(frame.close(array));
}

void throwException(JNIEnv* env, const char* className, const std::wstring& message, bool log) {
    if (log) {
        KREL_INTERNAL_DEBUG(L"krel_std::throwException", L"%ls", message.c_str());
    }
    FaultTranslator::ActiveScope vmCall(false);
    LocalFrame frame(env, UTILITY_FRAME_CAPACITY);
    if (!frame.isOpen()) {
        return;
    }
    const jclass exceptionClass = env->FindClass(className);
    if (exceptionClass == nullptr) {
        return;
    }
    const jmethodID constructor =
        env->GetMethodID(exceptionClass, "<init>", "(Ljava/lang/String;)V");
    if (constructor == nullptr) {
        return;
    }
    const jstring text = newJavaString(env, message);
    if (text == nullptr) {
        return;
    }
    const jobject exception = env->NewObject(exceptionClass, constructor, text);
    if (exception == nullptr) {
        return;
    }
    env->Throw(static_cast<jthrowable>(exception));
}

void throwException(JNIEnv* env, const std::wstring& message, bool log) {
    throwException(env, "java/lang/Exception", message, log);
}

void throwRuntimeException(JNIEnv* env, const std::wstring& message, bool log) {
    throwException(env, "java/lang/RuntimeException", message, log);
}

void throwIllegalArgumentException(JNIEnv* env, const std::wstring& message, bool log) {
    throwException(env, "java/lang/IllegalArgumentException", message, log);
}

void throwIllegalStateException(JNIEnv* env, const std::wstring& message, bool log) {
    throwException(env, "java/lang/IllegalStateException", message, log);
}

void throwSecurityException(JNIEnv* env, const std::wstring& message, bool log) {
    throwException(env, "java/lang/SecurityException", message, log);
}

} // namespace krel_std
