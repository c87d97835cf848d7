#include "jni/PendingExceptionGuard.h"

namespace krel_std_internal {

PendingExceptionGuard::PendingExceptionGuard(JNIEnv* env) : env(env), held(nullptr) {
    if (env->ExceptionCheck()) {
        held = env->ExceptionOccurred();
        env->ExceptionClear();
    }
}

PendingExceptionGuard::~PendingExceptionGuard() {
    if (held == nullptr) {
        return;
    }
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
    }
    env->Throw(held);
    env->DeleteLocalRef(held);
}

} // namespace krel_std_internal
