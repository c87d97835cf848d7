#include "jni/JavaStrings.h"

#include <limits>

#include "platform/Utf16.h"

namespace krel_std_internal {

void throwOutOfMemory(JNIEnv* env, const char* message) {
    const jclass errorClass = env->FindClass("java/lang/OutOfMemoryError");
    if (errorClass != nullptr) {
        env->ThrowNew(errorClass, message);
        env->DeleteLocalRef(errorClass);
    }
}

jstring newJavaString(JNIEnv* env, const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text);
    if (units.size() > static_cast<size_t>(std::numeric_limits<jsize>::max())) {
        throwOutOfMemory(env, "String too long");
        return nullptr;
    }
    return env->NewString(reinterpret_cast<const jchar*>(units.data()),
                          static_cast<jsize>(units.size()));
}

std::wstring javaText(JNIEnv* env, jstring text) {
    if (text == nullptr) {
        return std::wstring();
    }
    const jsize length = env->GetStringLength(text);
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (chars == nullptr) {
        env->ExceptionClear();
        return std::wstring();
    }
    const std::u16string units(reinterpret_cast<const char16_t*>(chars),
                               static_cast<size_t>(length));
    env->ReleaseStringChars(text, chars);
    return krel_platform::utf16ToWide(units);
}

} // namespace krel_std_internal
