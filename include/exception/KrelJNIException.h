// KrelJNIException, a Java exception carried over to the native side.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

// The throwable handle type exactly as <jni.h> declares it for C++, so that this header needs
// no JDK headers; a translation unit may include <jni.h> before or after it.
class _jobject;
class _jthrowable;
typedef _jthrowable* jthrowable;

namespace krel_std {

// A Java exception carried over to the native side: the throwable's toString() text is its
// message, and its Java stack trace ("\n\tat class.method(file:line)" per frame, after the
// message) its stack-trace text. Once built it holds no JNI reference.
class KrelJNIException : public KrelException {
public:
    KrelJNIException(const std::wstring& message = std::wstring());
    KrelJNIException(const std::wstring& message, const KrelException& cause);
    KrelJNIException(const std::wstring& message, int errNum);
    KrelJNIException(const std::wstring& message, int errNum, const KrelException& cause);
    // Reads the throwable through the calling thread's environment of the process's VM. A null
    // throwable leaves message and stack-trace text empty. The caller keeps its reference, and
    // a Java exception pending on the calling thread stays pending.
    explicit KrelJNIException(jthrowable throwable);
    KrelJNIException(const KrelJNIException& other);
    KrelJNIException& operator=(const KrelJNIException& other);
    virtual ~KrelJNIException();

    std::wstring getClassName() const override;
    KrelException* newInstance() const override;

    // Throws a KrelJNIException for the Java exception pending on the calling thread, after
    // clearing it in the VM; returns when none is pending, when there is no VM or when the
    // thread has no environment.
    static void throwIfPresent();

private:
    void generateStackTrace(jthrowable throwable);
};

} // namespace krel_std
