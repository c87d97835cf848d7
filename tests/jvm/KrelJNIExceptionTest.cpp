// Carrying Java exceptions over to the native side, and logging them.
#include "exception/KrelJNIException.h"

#include <cstdio>
#include <thread>

#include "JavaVMTest.h"
#include "jni/JNIExceptionLogger.h"
#include "jni/JNIUtils.h"
#include "support/DebugOutputCapture.h"

namespace {

using krel_std::KrelJNIException;

// The fixture's native method: raises an IllegalStateException from native code.
void JNICALL raiseFromNative(JNIEnv* env, jclass) {
    krel_std::throwIllegalStateException(env, L"from native", false);
}

class KrelJNIExceptionTest : public JavaVMTest {
protected:
    // Runs the fixture method and captures what it throws through throwIfPresent.
    KrelJNIException capture(const char* className, const char* method) {
        callStaticVoid(env.get(), className, method);
        try {
            KrelJNIException::throwIfPresent();
        } catch (const KrelJNIException& e) {
            return e;
        }
        ADD_FAILURE() << className << "." << method << " threw nothing";
        return KrelJNIException();
    }

    static std::wstring lineOf(const std::string& file, const std::string& text) {
        return std::to_wstring(fixtureLine(file, text));
    }
};

TEST_F(KrelJNIExceptionTest, AJavaThrowBecomesMessageAndFrames) {
    const KrelJNIException e = capture("a/B", "b");
    EXPECT_EQ(e.getMessage(), L"java.lang.IllegalStateException: m");
    const std::wstring expected = L"java.lang.IllegalStateException: m\n\tat a.B.b(B.java:" +
                                  lineOf("a/B.java", "new IllegalStateException(\"m\")") + L")";
    EXPECT_EQ(e.getStackTraceString(), expected);
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(KrelJNIExceptionTest, ANativeFrameNamesNativeMethod) {
    const jclass fixture = findClass("a/B");
    JNINativeMethod method = {const_cast<char*>("n"), const_cast<char*>("()V"),
                              reinterpret_cast<void*>(&raiseFromNative)};
    ASSERT_EQ(env->RegisterNatives(fixture, &method, 1), JNI_OK);
    env->DeleteLocalRef(fixture);

    const KrelJNIException e = capture("a/B", "callNative");
    EXPECT_EQ(e.getStackTraceString(),
              L"java.lang.IllegalStateException: from native\n\tat a.B.n(Native Method)\n\tat "
              L"a.B.callNative(B.java:" +
                  lineOf("a/B.java", "        n();") + L")");
}

TEST_F(KrelJNIExceptionTest, AClassWithoutLineNumbersShowsItsFileAlone) {
    EXPECT_EQ(capture("a/C", "c").getStackTraceString(),
              L"java.lang.IllegalArgumentException: c\n\tat a.C.c(C.java)");
}

TEST_F(KrelJNIExceptionTest, AnEmptyStackLeavesTheMessageAlone) {
    const jthrowable throwable =
        static_cast<jthrowable>(callStatic("a/B", "withEmptyStack", "()Ljava/lang/Throwable;"));
    ASSERT_FALSE(env->ExceptionCheck());
    const KrelJNIException e(throwable);
    env->DeleteLocalRef(throwable);
    EXPECT_EQ(e.getMessage(), L"java.lang.RuntimeException: no frames");
    EXPECT_EQ(e.getStackTraceString(), L"java.lang.RuntimeException: no frames");
}

TEST_F(KrelJNIExceptionTest, CapturingThePendingThrowableLeavesItPending) {
    callStaticVoid(env.get(), "a/B", "b");
    const jthrowable pending = env->ExceptionOccurred();
    ASSERT_NE(pending, nullptr);
    const KrelJNIException e(pending);
    const jthrowable after = env->ExceptionOccurred();
    env->ExceptionClear();
    EXPECT_NE(after, nullptr);
    EXPECT_TRUE(env->IsSameObject(after, pending));
    env->DeleteLocalRef(after);
    env->DeleteLocalRef(pending);
    EXPECT_EQ(e.getMessage(), L"java.lang.IllegalStateException: m");
    EXPECT_EQ(e.getStackTraceString().rfind(L"java.lang.IllegalStateException: m\n\tat a.B.b(", 0),
              0u);
}

TEST_F(KrelJNIExceptionTest, ANullThrowableIsEmpty) {
    const KrelJNIException e(static_cast<jthrowable>(nullptr));
    EXPECT_EQ(e.getMessage(), L"");
    EXPECT_EQ(e.getStackTraceString(), L"");
    EXPECT_EQ(e.getClassName(), L"com.vandrel.exception.KrelJNIException");
}

TEST_F(KrelJNIExceptionTest, NothingPendingThrowsNothing) {
    EXPECT_NO_THROW(KrelJNIException::throwIfPresent());
}

TEST_F(KrelJNIExceptionTest, AThreadAttachedForTheCaptureCapturesToo) {
    std::wstring stackTrace;
    bool pendingAfter = true;
    std::thread worker([&] {
        const boost::shared_ptr<JNIEnv> threadEnv = sharedVM()->getEnv();
        callStaticVoid(threadEnv.get(), "a/B", "b");
        try {
            KrelJNIException::throwIfPresent();
        } catch (const KrelJNIException& e) {
            stackTrace = e.getStackTraceString();
        }
        pendingAfter = threadEnv->ExceptionCheck();
    });
    worker.join();
    EXPECT_EQ(stackTrace.rfind(L"java.lang.IllegalStateException: m\n\tat a.B.b(B.java:", 0), 0u);
    EXPECT_FALSE(pendingAfter);
}

TEST_F(KrelJNIExceptionTest, ManyCapturesOnTheCreatingThreadKeepNoLocalReferences) {
    for (int i = 0; i < 10000; ++i) {
        const KrelJNIException e = capture("a/B", "b");
        if (e.getMessage() != L"java.lang.IllegalStateException: m") {
            FAIL() << "capture " << i;
        }
    }
}

using JNIExceptionLoggerTest = JavaVMTest;

// Asks the logger for a message before the process has a VM (when this test is the first of its
// process, as under CTest), then once the VM exists.
class JNIExceptionLoggerStartTest : public JavaVMTest {
protected:
    void SetUp() override {
        hadVM = static_cast<bool>(krel_std::JVM::getInstance());
        messageWithoutVM = krel_std::JNIExceptionLogger::getMessage(nullptr);
        JavaVMTest::SetUp();
    }

    bool hadVM = false;
    std::wstring messageWithoutVM;
};

TEST_F(JNIExceptionLoggerStartTest, ACallBeforeTheVMLeavesTheLoggerReadyForOneAfter) {
    EXPECT_EQ(messageWithoutVM, L"");
    const jthrowable throwable =
        static_cast<jthrowable>(callStatic("a/B", "withEmptyStack", "()Ljava/lang/Throwable;"));
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(krel_std::JNIExceptionLogger::getMessage(throwable),
              L"java.lang.RuntimeException: no frames");
    env->DeleteLocalRef(throwable);
    if (hadVM) {
        std::printf("(the VM existed before this test: run it alone to see the start)\n");
    }
}

TEST_F(JNIExceptionLoggerTest, TheMessageIsTheThrowablesText) {
    const jthrowable throwable =
        static_cast<jthrowable>(callStatic("a/B", "withEmptyStack", "()Ljava/lang/Throwable;"));
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(krel_std::JNIExceptionLogger::getMessage(throwable),
              L"java.lang.RuntimeException: no frames");
    env->DeleteLocalRef(throwable);
}

TEST_F(JNIExceptionLoggerTest, TheMessageOfThePendingThrowableLeavesItPending) {
    callStaticVoid(env.get(), "a/B", "b");
    const jthrowable pending = env->ExceptionOccurred();
    ASSERT_NE(pending, nullptr);
    const std::wstring message = krel_std::JNIExceptionLogger::getMessage(pending);
    const bool stillPending = env->ExceptionCheck();
    env->ExceptionClear();
    env->DeleteLocalRef(pending);
    EXPECT_TRUE(stillPending);
    EXPECT_EQ(message, L"java.lang.IllegalStateException: m");
}

TEST_F(JNIExceptionLoggerTest, AThrowingToStringGivesTheEmptyTextAndLeavesNothingPending) {
    const jthrowable throwable = static_cast<jthrowable>(
        callStatic("a/B", "withFailingToString", "()Ljava/lang/Throwable;"));
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(krel_std::JNIExceptionLogger::getMessage(throwable), L"");
    EXPECT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(throwable);
}

TEST_F(JNIExceptionLoggerTest, LoggingWithoutAThrowableTakesAndLogsThePendingOne) {
    krel_test::DebugOutputCapture output;
    krel_std::throwIllegalStateException(env.get(), L"pending 100%", false);
    krel_std::JNIExceptionLogger::logDebug(L"test::where", nullptr);
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_NE(output.all().find(L"JNI Exception: java.lang.IllegalStateException: pending 100%"),
              std::wstring::npos)
        << output.all();
}

TEST_F(JNIExceptionLoggerTest, LoggingWithNothingPendingLogsNothing) {
    krel_test::DebugOutputCapture output;
    krel_std::JNIExceptionLogger::logDebug(L"test::where", nullptr);
    EXPECT_EQ(output.all().find(L"JNI Exception"), std::wstring::npos);
}

} // namespace
