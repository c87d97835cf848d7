// The hook a Java VM calls when it loads this library as a native library.

#include <jni.h>

#include "jni/JVM.h"

// Hands the VM to the library's VM handle (a later VM leaves the first in place) and asks for
// JNI 1.4, whatever the handle answered. Nothing else starts here: no logging, no thread. The
// VM calls it on a thread of its own, which nothing cancels.
extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* reserved) {
    (void)reserved;
    try {
        krel_std::JVM::setJVM(vm);
    } catch (...) {
        // Loading cannot fail: a VM that could not be adopted leaves the bridge without one.
    }
    return krel_std::JVM::USE_JNI_VERSION;
}
