// JNIExceptionLogger, which turns a Java throwable into text and logs it.
#pragma once

#include <atomic>
#include <boost/noncopyable.hpp>
#include <jni.h>
#include <string>

#include "pattern/Singleton.h"
#include "thread/Lock.h"

namespace krel_std {

// Turns a Java throwable into text (its toString()) and logs it. The method lookup is made on
// first use once a VM exists; until then every answer is the empty text. Never throws.
class JNIExceptionLogger : public Singleton<JNIExceptionLogger>, private boost::noncopyable {
    friend class Singleton<JNIExceptionLogger>;

public:
    virtual ~JNIExceptionLogger();

    // The throwable's toString() text; empty without a VM, an environment, the method, or when
    // the call answers null or throws (that exception is cleared). A Java exception pending on
    // the calling thread (often the throwable itself) stays pending.
    static std::wstring getMessage(jthrowable throwable);

    // Log "JNI Exception: <text>" at DEBUG, CALL, TRACE or DUMP with `where` as the function.
    // A null throwable stands for the exception pending on the calling thread, which is taken
    // and cleared whether or not the level is on; with none pending nothing is logged.
    static void logDebug(const wchar_t* where, jthrowable throwable);
    static void logCall(const wchar_t* where, jthrowable throwable);
    static void logTrace(const wchar_t* where, jthrowable throwable);
    static void logDump(const wchar_t* where, jthrowable throwable);

private:
    JNIExceptionLogger();
    static const wchar_t* getSingletonName();

    void initialize();
    bool isInitialized() const;
    std::wstring internalGetMessage(jthrowable throwable);
    std::wstring readMessage(JNIEnv* env, jthrowable throwable) const;

    Lock lock;
    std::atomic<jmethodID> toStringMethod;
};

} // namespace krel_std
