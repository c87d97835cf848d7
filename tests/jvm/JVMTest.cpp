// The VM found and created by the library, and the environments it hands out per thread.
#include <cstdlib>
#include <thread>

#include "JavaVMTest.h"
#include "exception/KrelIllegalArgumentException.h"
#include "jni/JNIUtils.h"

namespace {

using krel_std::JVM;

using JVMTest = JavaVMTest;

// Whether the calling thread is attached to the VM.
bool isAttached(JavaVM* vm) {
    void* threadEnv = nullptr;
    return vm->GetEnv(&threadEnv, JNI_VERSION_1_4) == JNI_OK;
}

TEST_F(JVMTest, TheWantedMajorVersionRunsTheJdkTheBuildFound) {
    EXPECT_EQ(std::getenv("JAVA_HOME"), nullptr);
    const jclass system = findClass("java/lang/System");
    const jmethodID getProperty =
        env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    const jstring key = env->NewStringUTF("java.home");
    const jstring home =
        static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key));
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(krel_std::getJniString(env.get(), home), L"" KREL_TEST_JDK_HOME);
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(system);
}

TEST_F(JVMTest, ASecondLoadIsRefused) {
    try {
        JVM::loadJVM(L"17", {});
        FAIL() << "a second VM was loaded";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Instance value is not NULL.");
    }
}

TEST_F(JVMTest, TheCreatingThreadStaysAttached) {
    sharedVM()->getEnv().reset();
    EXPECT_TRUE(isAttached(sharedVM()->getJVM()));
}

TEST_F(JVMTest, ANewThreadIsAttachedUntilItsLastEnvironmentGoes) {
    JavaVM* vm = sharedVM()->getJVM();
    bool attachedWhileHeld = false;
    bool attachedWithCopy = false;
    bool attachedAfter = true;
    std::thread worker([&] {
        boost::shared_ptr<JNIEnv> first = sharedVM()->getEnv();
        attachedWhileHeld = first && isAttached(vm);
        boost::shared_ptr<JNIEnv> copy = first;
        first.reset();
        attachedWithCopy = isAttached(vm);
        copy.reset();
        attachedAfter = isAttached(vm);
    });
    worker.join();
    EXPECT_TRUE(attachedWhileHeld);
    EXPECT_TRUE(attachedWithCopy);
    EXPECT_FALSE(attachedAfter);
}

TEST_F(JVMTest, AThreadAttachedByItsOwnerStaysAttached) {
    JavaVM* vm = sharedVM()->getJVM();
    bool attachedAfter = false;
    std::thread worker([&] {
        void* ownEnv = nullptr;
        if (vm->AttachCurrentThread(&ownEnv, nullptr) != JNI_OK) {
            return;
        }
        sharedVM()->getEnv().reset();
        attachedAfter = isAttached(vm);
        vm->DetachCurrentThread();
    });
    worker.join();
    EXPECT_TRUE(attachedAfter);
}

} // namespace
