// The Java VM of a test process: created once, by discovery, on first use, with the JNI checks
// on and the fixture classes on its class path. Each test fails when the VM reported a misused
// JNI call or too many local references while it ran, or when it left a Java exception pending.
#pragma once

#include <boost/shared_ptr.hpp>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "VMOutputCapture.h"
#include "jni/JVM.h"

class JavaVMTest : public ::testing::Test {
protected:
    // The process's VM, made by the first call.
    static const boost::shared_ptr<krel_std::JVM>& sharedVM() {
        static const boost::shared_ptr<krel_std::JVM> vm = createVM();
        return vm;
    }

    void SetUp() override {
        ASSERT_TRUE(sharedVM());
        krel_test::VMOutputCapture::instance().begin();
        env = sharedVM()->getEnv();
        ASSERT_TRUE(env);
    }

    void TearDown() override {
        if (env->ExceptionCheck()) {
            env->ExceptionDescribe();
            ADD_FAILURE() << "a Java exception was left pending";
        }
        const std::string output = krel_test::VMOutputCapture::instance().end();
        EXPECT_EQ(output.find("in native method"), std::string::npos) << output;
        EXPECT_EQ(output.find("JNI local refs"), std::string::npos) << output;
    }

    // A class of the VM's class path, as a local reference of the calling thread.
    jclass findClass(const char* name) {
        const jclass found = env->FindClass(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Calls a static method of no arguments that answers an object (null when it threw).
    jobject callStatic(const char* className, const char* method, const char* signature) {
        const jclass owner = findClass(className);
        const jmethodID id = env->GetStaticMethodID(owner, method, signature);
        const jobject result = env->CallStaticObjectMethod(owner, id);
        env->DeleteLocalRef(owner);
        return result;
    }

    // Calls a static void method of no arguments, leaving what it throws pending.
    void callStaticVoid(JNIEnv* threadEnv, const char* className, const char* method) {
        const jclass owner = threadEnv->FindClass(className);
        ASSERT_NE(owner, nullptr) << className;
        const jmethodID id = threadEnv->GetStaticMethodID(owner, method, "()V");
        ASSERT_NE(id, nullptr) << method;
        threadEnv->CallStaticVoidMethod(owner, id);
        threadEnv->DeleteLocalRef(owner);
    }

    // The line of the fixture source file that holds `text` (1 for the first line), 0 when none.
    static int fixtureLine(const std::string& file, const std::string& text) {
        std::ifstream source(std::string(KREL_JVM_FIXTURES_SOURCE) + "/" + file);
        std::string line;
        for (int number = 1; std::getline(source, line); ++number) {
            if (line.find(text) != std::string::npos) {
                return number;
            }
        }
        return 0;
    }

    boost::shared_ptr<JNIEnv> env;

private:
    static boost::shared_ptr<krel_std::JVM> createVM() {
        return krel_std::JVM::loadJVM(
            L"17", {L"-Xcheck:jni", L"-Djava.class.path=" KREL_JVM_FIXTURES_JAR});
    }
};
