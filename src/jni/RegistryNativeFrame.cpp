#include "jni/RegistryNativeFrame.h"

#include "jni/JNIUtils.h"

namespace krel_std_internal {

namespace {

const wchar_t* const UNKNOWN_ERROR = L"Unknown error encountered.";

// The DEBUG trace that follows each handler of the mapping.
const wchar_t* thrownText(JavaExceptionKind kind) {
    switch (kind) {
    case JavaExceptionKind::IllegalArgument:
        return L"IllegalArgumentException thrown.";
    case JavaExceptionKind::IllegalState:
        return L"IllegalStateException thrown.";
    case JavaExceptionKind::Security:
        return L"SecurityException thrown.";
    case JavaExceptionKind::Runtime:
        return L"RuntimeException thrown.";
    case JavaExceptionKind::Exception:
        return L"Exception thrown.";
    }
    return L"Exception thrown.";
}

void throwJava(JNIEnv* env, JavaExceptionKind kind, const std::wstring& message, bool log) {
    switch (kind) {
    case JavaExceptionKind::IllegalArgument:
        krel_std::throwIllegalArgumentException(env, message, log);
        return;
    case JavaExceptionKind::IllegalState:
        krel_std::throwIllegalStateException(env, message, log);
        return;
    case JavaExceptionKind::Security:
        krel_std::throwSecurityException(env, message, log);
        return;
    case JavaExceptionKind::Runtime:
        krel_std::throwRuntimeException(env, message, log);
        return;
    case JavaExceptionKind::Exception:
        krel_std::throwException(env, message, log);
        return;
    }
}

} // namespace

NativeFailure NativeFailure::unknownError() {
    return NativeFailure{JavaExceptionKind::Runtime, UNKNOWN_ERROR, true, true};
}

jstring newEmptyJavaString(JNIEnv* env) {
    static const jchar nothing[1] = {0};
    return env->NewString(nothing, 0);
}

jobjectArray newEmptyStringArray(JNIEnv* env) {
    jclass stringClass = env->FindClass("java/lang/String");
    if (stringClass == nullptr) {
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(0, stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    return array;
}

std::wstring RegistryNativeFrame::parentKeyText(jstring parentKey) {
    std::wstring converted = krel_std::getJniString(env, parentKey);
    checkConversion();
    if (converted.empty()) {
        throw NativeFailure{JavaExceptionKind::IllegalArgument, L"Parent key is empty.", false,
                            false};
    }
    refuseNul(converted, L"Parent key holds a NUL character.");
    return converted;
}

std::wstring RegistryNativeFrame::keyText(jstring key) {
    std::wstring converted = krel_std::getJniString(env, key);
    checkConversion();
    if (converted.empty()) {
        throw NativeFailure{JavaExceptionKind::IllegalArgument, L"Key is empty.", false, false};
    }
    refuseNul(converted, L"Key holds a NUL character.");
    return converted;
}

std::wstring RegistryNativeFrame::text(jstring value) {
    std::wstring converted = krel_std::getJniString(env, value);
    checkConversion();
    refuseNul(converted, L"Value holds a NUL character.");
    return converted;
}

void RegistryNativeFrame::refuseNul(const std::wstring& text, const wchar_t* message) {
    if (text.find(L'\0') != std::wstring::npos) {
        throw NativeFailure{JavaExceptionKind::IllegalArgument, message, false, false};
    }
}

void RegistryNativeFrame::checkConversion() const {
    if (env->ExceptionCheck()) {
        throw NativeFailure::unknownError();
    }
}

void RegistryNativeFrame::raise(const NativeFailure& failure) const {
    if (env->ExceptionCheck()) {
        return;
    }
    throwJava(env, failure.kind, failure.message, failure.unknown);
    if (failure.mapped) {
        KREL_INTERNAL_DEBUG_AT(site.function, site.file, 0, L"%ls", thrownText(failure.kind));
    }
}

} // namespace krel_std_internal
