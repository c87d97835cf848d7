// Internal: a scope of JNI local references.
#pragma once

#include <jni.h>

namespace krel_std_internal {

// Opens a JNI local frame and pops it when the scope ends, freeing every local reference made
// inside it. This matters on threads with no Java frame below them (a native host's thread, a
// thread attached by the library), where nothing else ever frees local references.
class LocalFrame {
public:
    LocalFrame(JNIEnv* env, jint capacity);
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;
    ~LocalFrame();

    // Whether the frame was opened; when not, the VM's OutOfMemoryError is pending.
    bool isOpen() const { return open; }

    // Pops the frame now, keeping `result` alive: the answer is a local reference to it in the
    // enclosing frame (null for null).
    jobject close(jobject result);

private:
    JNIEnv* env;
    bool open;
};

} // namespace krel_std_internal
