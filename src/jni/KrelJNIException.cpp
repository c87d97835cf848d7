#include "exception/KrelJNIException.h"

#include <atomic>
#include <jni.h>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/FaultTranslator.h"
#include "jni/JNIExceptionLogger.h"
#include "jni/JNIReference.h"
#include "jni/JVM.h"
#include "jni/JavaStrings.h"
#include "jni/LocalFrame.h"
#include "jni/PendingExceptionGuard.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

using krel_std_internal::FaultTranslator;

// Local references the stack walk holds at once, at most: the array, one element, one string.
const jint STACK_WALK_FRAME_CAPACITY = 8;

// The method ids the stack walk calls, looked up once per process and never refreshed (the
// classes are the VM's own and never unloaded). Made on first use and never destroyed.
struct StackTraceLookups {
    Lock lock;
    std::atomic<bool> complete{false};
    jmethodID getStackTrace = nullptr;
    jmethodID getClassName = nullptr;
    jmethodID getFileName = nullptr;
    jmethodID getLineNumber = nullptr;
    jmethodID getMethodName = nullptr;
    jmethodID isNativeMethod = nullptr;
};

StackTraceLookups& lookups() {
    static StackTraceLookups& cached = *new StackTraceLookups;
    return cached;
}

void traceDebug(const wchar_t* function, const wchar_t* message) {
    KREL_INTERNAL_DEBUG(function, L"%ls", message);
}

const wchar_t* const GENERATE_STACK_TRACE_NAME = L"krel_std::KrelJNIException::generateStackTrace";

// The calling thread's environment of the process's VM; empty, with a DEBUG trace in the
// caller's context, without a VM or an environment.
boost::shared_ptr<JNIEnv> threadEnv(const wchar_t* where) {
    const boost::shared_ptr<JVM> jvm = JVM::getInstance();
    if (!jvm) {
        traceDebug(where, L"JVM is NULL. Returning.");
        return boost::shared_ptr<JNIEnv>();
    }
    const boost::shared_ptr<JNIEnv> env = jvm->getEnv();
    if (!env) {
        traceDebug(where, L"JNIEnv is NULL. Returning.");
    }
    return env;
}

// Fills the lookups; on the first failure logs its message and the Java exception it left
// pending (clearing it) and answers false, so that a later call tries again.
bool fillLookups(JNIEnv* env, StackTraceLookups& cached) {
    const auto fail = [](const wchar_t* message) {
        traceDebug(GENERATE_STACK_TRACE_NAME, message);
        JNIExceptionLogger::logDebug(GENERATE_STACK_TRACE_NAME, nullptr);
        return false;
    };
    const JNIReference<jclass> throwableClass(env->FindClass("java/lang/Throwable"));
    if (!throwableClass.isValid()) {
        return fail(L"Could not get Throwable class.");
    }
    const JNIReference<jclass> elementClass(env->FindClass("java/lang/StackTraceElement"));
    if (!elementClass.isValid()) {
        return fail(L"Could not get StackTraceElement class.");
    }
    struct Lookup {
        jclass owner;
        const char* name;
        const char* signature;
        jmethodID* target;
        const wchar_t* failure;
    };
    const Lookup methods[] = {
        {throwableClass.get(), "getStackTrace", "()[Ljava/lang/StackTraceElement;",
         &cached.getStackTrace, L"Could not get getStackTrace method ID."},
        {elementClass.get(), "getClassName", "()Ljava/lang/String;", &cached.getClassName,
         L"Could not get getClassName method ID."},
        {elementClass.get(), "getFileName", "()Ljava/lang/String;", &cached.getFileName,
         L"Could not get getFileName method ID."},
        {elementClass.get(), "getLineNumber", "()I", &cached.getLineNumber,
         L"Could not get getLineNumber method ID."},
        {elementClass.get(), "getMethodName", "()Ljava/lang/String;", &cached.getMethodName,
         L"Could not get getMethodName method ID."},
        {elementClass.get(), "isNativeMethod", "()Z", &cached.isNativeMethod,
         L"Could not get isNativeMethod method ID."},
    };
    for (const Lookup& lookup : methods) {
        *lookup.target = env->GetMethodID(lookup.owner, lookup.name, lookup.signature);
        if (*lookup.target == nullptr) {
            return fail(lookup.failure);
        }
    }
    return true;
}

bool ensureLookups(JNIEnv* env) {
    StackTraceLookups& cached = lookups();
    if (cached.complete.load(std::memory_order_acquire)) {
        return true;
    }
    AutoLock<Lock> guard(cached.lock);
    if (!cached.complete.load(std::memory_order_relaxed) && fillLookups(env, cached)) {
        cached.complete.store(true, std::memory_order_release);
    }
    return cached.complete.load(std::memory_order_relaxed);
}

// Calls a String getter of the element; the text by its UTF-16 units, empty for null. Answers
// false (with the exception cleared) when the call threw.
bool readString(JNIEnv* env, jobject element, jmethodID getter, std::wstring& text) {
    const jstring value = static_cast<jstring>(env->CallObjectMethod(element, getter));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return false;
    }
    text = krel_std_internal::javaText(env, value);
    if (value != nullptr) {
        env->DeleteLocalRef(value);
    }
    return true;
}

// Appends one frame's line "\n\tat class.method(location)"; false (with the exception cleared)
// when a getter threw, and then nothing is appended.
bool appendFrame(JNIEnv* env, jobject element, std::wstring& trace) {
    const StackTraceLookups& cached = lookups();
    std::wstring className;
    std::wstring methodName;
    std::wstring fileName;
    if (!readString(env, element, cached.getClassName, className) ||
        !readString(env, element, cached.getMethodName, methodName) ||
        !readString(env, element, cached.getFileName, fileName)) {
        return false;
    }
    const bool isNative = env->CallBooleanMethod(element, cached.isNativeMethod) == JNI_TRUE;
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return false;
    }
    std::wstring location = L"Native Method";
    if (!isNative) {
        const jint line = env->CallIntMethod(element, cached.getLineNumber);
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            return false;
        }
        location = line > 0 ? fileName + L":" + std::to_wstring(line) : fileName;
    }
    trace += L"\n\tat " + className + L"." + methodName + L"(" + location + L")";
    return true;
}

} // namespace

KREL_DEFINE_EXCEPTION(KrelJNIException, KrelException, L"com.vandrel.exception.KrelJNIException")

KrelJNIException::KrelJNIException(jthrowable throwable)
    : KrelException(throwable != nullptr ? JNIExceptionLogger::getMessage(throwable)
                                         : std::wstring()) {
    if (throwable != nullptr) {
        generateStackTrace(throwable);
    }
}

void KrelJNIException::throwIfPresent() {
    const boost::shared_ptr<JNIEnv> env = threadEnv(L"krel_std::KrelJNIException::throwIfPresent");
    if (!env) {
        return;
    }
    JNIReference<jthrowable> pending;
    {
        FaultTranslator::ActiveScope vmCall(false);
        if (!env->ExceptionCheck()) {
            return;
        }
        pending.reset(env->ExceptionOccurred());
        env->ExceptionClear();
    }
    const KrelJNIException exception(pending.get());
    pending.release();
    throw exception;
}

void KrelJNIException::generateStackTrace(jthrowable throwable) {
    if (throwable == nullptr) {
        traceDebug(GENERATE_STACK_TRACE_NAME, L"NULL throwable. Returning.");
        return;
    }
    const boost::shared_ptr<JNIEnv> sharedEnv = threadEnv(GENERATE_STACK_TRACE_NAME);
    if (!sharedEnv) {
        return;
    }
    JNIEnv* env = sharedEnv.get();
    FaultTranslator::ActiveScope vmCall(false);
    const krel_std_internal::PendingExceptionGuard callerException(env);
    if (!ensureLookups(env)) {
        return;
    }
    krel_std_internal::LocalFrame frame(env, STACK_WALK_FRAME_CAPACITY);
    if (!frame.isOpen()) {
        env->ExceptionClear();
        return;
    }
    const jobjectArray frames =
        static_cast<jobjectArray>(env->CallObjectMethod(throwable, lookups().getStackTrace));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return;
    }
    std::wstring trace = getMessage();
    const jsize length = frames != nullptr ? env->GetArrayLength(frames) : 0;
    for (jsize index = 0; index < length; ++index) {
        const jobject element = env->GetObjectArrayElement(frames, index);
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            break;
        }
        const bool appended = element != nullptr && appendFrame(env, element, trace);
        env->DeleteLocalRef(element);
        if (!appended) {
            break;
        }
    }
    stackTrace = trace;
}

} // namespace krel_std
