// Internal: keeps a caller's pending Java exception out of the way of the library's JNI calls.
#pragma once

#include <jni.h>

namespace krel_std_internal {

// Takes the Java exception pending on the calling thread, if any, and clears it, so that the
// JNI calls of the scope run with none pending (JNI allows only a few calls while one is);
// raises it again when the scope ends. What the scope itself left pending is dropped in its
// favour. Made outside any local frame that the scope pops, as it holds a local reference.
class PendingExceptionGuard {
public:
    explicit PendingExceptionGuard(JNIEnv* env);
    PendingExceptionGuard(const PendingExceptionGuard&) = delete;
    PendingExceptionGuard& operator=(const PendingExceptionGuard&) = delete;
    ~PendingExceptionGuard();

private:
    JNIEnv* env;
    jthrowable held;
};

} // namespace krel_std_internal
