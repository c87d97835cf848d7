// Owners of JNI references delete each kind the way JNI wants it deleted.
#include "jni/JNIReference.h"

#include <thread>

#include "JavaVMTest.h"

namespace {

using krel_std::JNIReference;

class JNIReferenceTest : public JavaVMTest {
protected:
    jobject newObject() {
        const jclass objectClass = findClass("java/lang/Object");
        const jmethodID constructor = env->GetMethodID(objectClass, "<init>", "()V");
        const jobject object = env->NewObject(objectClass, constructor);
        EXPECT_FALSE(env->ExceptionCheck());
        env->DeleteLocalRef(objectClass);
        return object;
    }
};

TEST_F(JNIReferenceTest, EachKindIsDeletedAsItWasMade) {
    const jobject local = newObject();
    JNIReference<jobject> global(env->NewGlobalRef(local), JNIReference<jobject>::GLOBAL);
    JNIReference<jobject> weak(env->NewWeakGlobalRef(local), JNIReference<jobject>::WEAK_GLOBAL);
    JNIReference<jobject> owned(local);
    EXPECT_EQ(env->GetObjectRefType(global.get()), JNIGlobalRefType);
    EXPECT_EQ(env->GetObjectRefType(weak.get()), JNIWeakGlobalRefType);
    EXPECT_EQ(env->GetObjectRefType(owned.get()), JNILocalRefType);
    global.release();
    weak.release();
    owned.release();
    EXPECT_FALSE(global.isValid() || weak.isValid() || owned.isValid());
}

TEST_F(JNIReferenceTest, ResetLetsTheHeldReferenceGoFirst) {
    JNIReference<jobject> owner(newObject());
    for (int i = 0; i < 1000; ++i) {
        owner.reset(newObject());
    }
    EXPECT_TRUE(owner.isValid());
}

TEST_F(JNIReferenceTest, AGlobalReferenceMayBeLetGoOnAnotherThread) {
    JNIReference<jobject> global(env->NewGlobalRef(JNIReference<jobject>(newObject()).get()),
                                 JNIReference<jobject>::GLOBAL);
    std::thread worker([&] { global.release(); });
    worker.join();
    EXPECT_FALSE(global.isValid());
}

} // namespace
