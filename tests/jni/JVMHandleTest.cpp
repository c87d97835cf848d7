// The process's one VM handle: state that a process can set only once, so each test runs in a
// child process of its own.
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelJNIException.h"
#include "file/File.h"
#include "jni/JNIExceptionLogger.h"
#include "jni/JNIReference.h"
#include "jni/JVM.h"
#include "support/TempDirectory.h"

extern "C" jint JNI_OnLoad(JavaVM* vm, void* reserved);

namespace {

using krel_std::JVM;

// Ends the child with a failure report when the condition does not hold.
void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "requirement failed: %s\n", what);
        std::_Exit(1);
    }
}

// A stand-in for a VM whose invocation functions answer as set below; the bridge must not call
// anything else of it.
struct FakeVM {
    static jint getEnvAnswer;
    static jint attachAnswer;

    FakeVM() : functions(), vm() {
        functions.GetEnv = [](JavaVM*, void** env, jint) {
            *env = nullptr;
            return getEnvAnswer;
        };
        functions.AttachCurrentThread = [](JavaVM*, void** env, void*) {
            *env = nullptr;
            return attachAnswer;
        };
        vm.functions = &functions;
    }

    JavaVM* get() { return &vm; }

    JNIInvokeInterface_ functions;
    JavaVM vm;
};

jint FakeVM::getEnvAnswer = JNI_EVERSION;
jint FakeVM::attachAnswer = JNI_ERR;

// The message of the refusal to load a VM into a process that has a handle.
std::wstring loadRefusal() {
    try {
        JVM::loadJVM(L"17", {});
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        return e.getMessage();
    }
    return L"(loaded)";
}

class JVMHandleTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        TempDirectoryTest::SetUp();
    }
};

TEST_F(JVMHandleTest, TheFirstAdoptedVMStays) {
    EXPECT_EXIT(
        {
            FakeVM first;
            FakeVM second;
            require(JVM::setJVM(first.get()), "the first VM is adopted");
            require(!JVM::setJVM(second.get()), "a second VM is refused");
            require(JVM::getInstance()->getJVM() == first.get(), "the first VM stays");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, TheLoadHookAsksForJni14WhateverTheHandleSaid) {
    EXPECT_EXIT(
        {
            FakeVM first;
            FakeVM second;
            require(JNI_OnLoad(first.get(), nullptr) == 0x10004, "first load answers 0x10004");
            require(JNI_OnLoad(second.get(), nullptr) == 0x10004, "second load answers 0x10004");
            require(JVM::getInstance()->getJVM() == first.get(), "the first VM stays");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, LoadingIsRefusedAfterTheLoadHookAdoptedAVM) {
    EXPECT_EXIT(
        {
            FakeVM adopted;
            JNI_OnLoad(adopted.get(), nullptr);
            require(loadRefusal() == L"Instance value is not NULL.", "loading refused");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, AVMThatRefusesTheVersionGivesNoEnvironment) {
    EXPECT_EXIT(
        {
            FakeVM adopted;
            FakeVM::getEnvAnswer = JNI_EVERSION;
            JVM::setJVM(adopted.get());
            require(!JVM::getInstance()->getEnv(), "no environment");
            krel_std::KrelJNIException::throwIfPresent();
            require(krel_std::JNIExceptionLogger::getMessage(nullptr).empty(), "no message");
            krel_std::JNIReference<jobject>(reinterpret_cast<jobject>(0x1234)).release();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, AFailedAttachGivesNoEnvironment) {
    EXPECT_EXIT(
        {
            FakeVM adopted;
            FakeVM::getEnvAnswer = JNI_EDETACHED;
            FakeVM::attachAnswer = JNI_ERR;
            JVM::setJVM(adopted.get());
            require(!JVM::getInstance()->getEnv(), "no environment");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, AFailedCreationKeepsAHandleWithoutVMAndRefusesAgain) {
    EXPECT_EXIT(
        {
            try {
                JVM::loadJVM(krel_std::File(KREL_TEST_JDK_HOME L"/lib/server/libjvm.so"),
                             {L"-Xcheck:jni", L"-XX:ThreadStackSize=-1"});
                require(false, "creation fails");
            } catch (const krel_std::KrelIOException& e) {
                require(e.getMessage() == L"Unable to create Java Virtual Machine.", "message");
                require(e.getErrNum() == -6, "error number -6");
            }
            const boost::shared_ptr<JVM> handle = JVM::getInstance();
            require(handle && handle->getJVM() == nullptr, "a handle without VM");
            require(!handle->getEnv(), "no environment");
            require(loadRefusal() == L"Instance value is not NULL.", "loading refused");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, AFileThatIsNoLibraryCannotBeLoaded) {
    EXPECT_EXIT(
        {
            writeBytes("libjvm.so", "not a library");
            try {
                JVM::loadJVM(krel_std::File(path("libjvm.so")), {});
                require(false, "loading fails");
            } catch (const krel_std::KrelIOException& e) {
                require(e.getMessage().rfind(L"Unable to load JVM.: ", 0) == 0, "message");
            }
            require(JVM::getInstance() != nullptr, "the handle stays");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(JVMHandleTest, ALibraryWithoutTheCreationFunctionCannotBeLoaded) {
    EXPECT_EXIT(
        {
            try {
                JVM::loadJVM(krel_std::File(L"" KREL_TEST_LIBRARY_WITHOUT_VM), {});
                require(false, "loading fails");
            } catch (const krel_std::KrelIOException& e) {
                require(e.getMessage().rfind(L"Unable to load JVM: ", 0) == 0, "message");
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
