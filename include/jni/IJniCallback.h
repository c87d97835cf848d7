// IJniCallback, one record of the Java callback queue.
#pragma once

#include <jni.h>

namespace krel_std {

// One record of the Java callback queue: it knows how to become the Java object that the Java
// thread pulling the queue receives.
//
// There is deliberately no virtual destructor: records are owned through boost::shared_ptr made
// from their concrete type, which destroys them as that type. The protected destructor keeps
// anyone from deleting one through this interface.
class IJniCallback {
public:
    // A new Java object for this record, as a local reference of the calling thread, or null
    // with the Java VM's exception pending when the object cannot be made.
    virtual jobject createJniObject(JNIEnv* env) = 0;

protected:
    ~IJniCallback() = default;
};

} // namespace krel_std
