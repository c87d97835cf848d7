#include "jni/LocalFrame.h"

namespace krel_std_internal {

LocalFrame::LocalFrame(JNIEnv* env, jint capacity)
    : env(env), open(env->PushLocalFrame(capacity) == JNI_OK) {}

LocalFrame::~LocalFrame() {
    close(nullptr);
}

jobject LocalFrame::close(jobject result) {
    if (!open) {
        return result;
    }
    open = false;
    return env->PopLocalFrame(result);
}

} // namespace krel_std_internal
