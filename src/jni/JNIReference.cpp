#include "jni/JNIReference.h"

#include <boost/shared_ptr.hpp>

#include "exception/FaultTranslator.h"
#include "jni/JVM.h"

namespace krel_std_internal {

void deleteJniReference(jobject reference, int32_t kind) {
    const boost::shared_ptr<krel_std::JVM> jvm = krel_std::JVM::getInstance();
    if (!jvm) {
        return;
    }
    const boost::shared_ptr<JNIEnv> env = jvm->getEnv();
    if (!env) {
        return;
    }
    FaultTranslator::ActiveScope vmCall(false);
    switch (kind) {
    case krel_std::JNIReference<jobject>::GLOBAL:
        env->DeleteGlobalRef(reference);
        break;
    case krel_std::JNIReference<jobject>::WEAK_GLOBAL:
        env->DeleteWeakGlobalRef(static_cast<jweak>(reference));
        break;
    case krel_std::JNIReference<jobject>::LOCAL:
        env->DeleteLocalRef(reference);
        break;
    default:
        break;
    }
}

} // namespace krel_std_internal
