#include "jni/JNIExceptionLogger.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/FaultTranslator.h"
#include "jni/JNIReference.h"
#include "jni/JVM.h"
#include "jni/JavaStrings.h"
#include "jni/PendingExceptionGuard.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

using krel_std_internal::FaultTranslator;

// The environment of the calling thread, or empty without a VM.
boost::shared_ptr<JNIEnv> currentEnv() {
    const boost::shared_ptr<JVM> jvm = JVM::getInstance();
    return jvm ? jvm->getEnv() : boost::shared_ptr<JNIEnv>();
}

void traceDebug(const wchar_t* message) {
    KREL_INTERNAL_DEBUG(L"krel_std::JNIExceptionLogger::initialize", L"%ls", message);
}

} // namespace

JNIExceptionLogger::JNIExceptionLogger() : toStringMethod(nullptr) {}

JNIExceptionLogger::~JNIExceptionLogger() {}

const wchar_t* JNIExceptionLogger::getSingletonName() {
    return L"krel_std::JNIExceptionLogger";
}

bool JNIExceptionLogger::isInitialized() const {
    return toStringMethod.load(std::memory_order_acquire) != nullptr;
}

void JNIExceptionLogger::initialize() {
    AutoLock<Lock> guard(lock);
    if (isInitialized() || !JVM::getInstance()) {
        return;
    }
    const boost::shared_ptr<JNIEnv> env = currentEnv();
    if (!env) {
        return;
    }
    FaultTranslator::ActiveScope vmCall(false);
    env->ExceptionClear();
    const JNIReference<jclass> throwableClass(env->FindClass("java/lang/Throwable"));
    if (!throwableClass.isValid()) {
        traceDebug(L"Unable to get Throwable class.");
        env->ExceptionClear();
        return;
    }
    const jmethodID method =
        env->GetMethodID(throwableClass.get(), "toString", "()Ljava/lang/String;");
    if (method == nullptr) {
        traceDebug(L"Unable to get Throwable.getMessage() method ID.");
        env->ExceptionClear();
        return;
    }
    toStringMethod.store(method, std::memory_order_release);
}

// The throwable is often the one pending on the thread: it is set aside while the VM is asked,
// and stays pending for the caller.
std::wstring JNIExceptionLogger::getMessage(jthrowable throwable) {
    JNIExceptionLogger& logger = getInstance();
    const boost::shared_ptr<JNIEnv> env = currentEnv();
    if (!env) {
        return std::wstring();
    }
    FaultTranslator::ActiveScope vmCall(false);
    const krel_std_internal::PendingExceptionGuard callerException(env.get());
    if (!logger.isInitialized()) {
        logger.initialize();
        if (!logger.isInitialized()) {
            return std::wstring();
        }
    }
    if (throwable == nullptr) {
        return std::wstring();
    }
    return logger.readMessage(env.get(), throwable);
}

std::wstring JNIExceptionLogger::readMessage(JNIEnv* env, jthrowable throwable) const {
    const JNIReference<jstring> text(static_cast<jstring>(
        env->CallObjectMethod(throwable, toStringMethod.load(std::memory_order_acquire))));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return std::wstring();
    }
    return krel_std_internal::javaText(env, text.get());
}

std::wstring JNIExceptionLogger::internalGetMessage(jthrowable throwable) {
    const boost::shared_ptr<JNIEnv> env = currentEnv();
    if (!env) {
        return std::wstring();
    }
    if (throwable != nullptr) {
        return getMessage(throwable);
    }
    JNIReference<jthrowable> pending;
    {
        FaultTranslator::ActiveScope vmCall(false);
        if (!env->ExceptionCheck()) {
            return std::wstring();
        }
        pending.reset(env->ExceptionOccurred());
        env->ExceptionClear();
    }
    return getMessage(pending.get());
}

namespace {

// Logs the logger's text for the throwable at one level.
template <void (*Trace)(const wchar_t*, const wchar_t*, unsigned int, const wchar_t*, ...)>
void logAt(bool (*isOn)(), const wchar_t* where, const std::wstring& text) {
    if (!text.empty() && isOn()) {
        Trace(where, KREL_SOURCE_FILE, __LINE__, L"JNI Exception: %ls", text.c_str());
    }
}

} // namespace

void JNIExceptionLogger::logDebug(const wchar_t* where, jthrowable throwable) {
    logAt<__internal_debug>(__internal_debug_on, where,
                            getInstance().internalGetMessage(throwable));
}

void JNIExceptionLogger::logCall(const wchar_t* where, jthrowable throwable) {
    logAt<__internal_call>(__internal_call_on, where, getInstance().internalGetMessage(throwable));
}

void JNIExceptionLogger::logTrace(const wchar_t* where, jthrowable throwable) {
    logAt<__internal_trace>(__internal_trace_on, where,
                            getInstance().internalGetMessage(throwable));
}

void JNIExceptionLogger::logDump(const wchar_t* where, jthrowable throwable) {
    logAt<__internal_dump>(__internal_dump_on, where, getInstance().internalGetMessage(throwable));
}

} // namespace krel_std
