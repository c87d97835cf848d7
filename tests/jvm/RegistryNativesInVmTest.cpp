// The registry natives called as a VM calls them, from native code beside a Java VM: what a Java
// caller cannot see (the results a native answers with an exception pending) and what only native
// code can arrange (a machine hive that refuses writes).
#include <functional>
#include <gtest/gtest.h>
#include <jni.h>
#include <stdexcept>
#include <string>

#include "JavaVMTest.h"
#include "exception/KrelObjectNotFoundException.h"
#include "jni/RegistryNativeFrame.h"
#include "platform/Utf16.h"
#include "platform/WinReg.h"

// The exported natives, called here as a VM calls them, so that their results on error paths
// can be seen (a JNI call of the Java method answers zero whenever an exception is pending).
extern "C" {
jint Java_com_vandrel_util_prefs_RegistryPreferencesJni_getIntValue(JNIEnv*, jobject, jint, jstring,
                                                                    jstring, jint);
jstring Java_com_vandrel_util_prefs_RegistryPreferencesJni_getStrValue(JNIEnv*, jobject, jint,
                                                                       jstring, jstring);
jobjectArray Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeys(JNIEnv*, jobject, jint,
                                                                        jstring);
jobjectArray Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeysWithValue(JNIEnv*, jobject,
                                                                                 jint, jstring);
void Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey(JNIEnv*, jobject, jint, jstring,
                                                                  jobject);
void Java_com_vandrel_util_prefs_RegistryPreferencesJni_setIntValue(JNIEnv*, jobject, jint, jstring,
                                                                    jstring, jint);
void Java_com_vandrel_util_prefs_RegistryPreferencesJni_setStrValue(JNIEnv*, jobject, jint, jstring,
                                                                    jstring, jstring);
}

namespace {

const jint kCurrentUser = static_cast<jint>(0x80000001u);
const jint kLocalMachine = static_cast<jint>(0x80000002u);

// The exception a call left pending, taken out of the VM.
struct PendingException {
    std::string className;
    std::wstring message;
};

// The natives are called straight, with the process's VM; they ignore their second argument,
// so no class of KrelStd.jar has to be loaded. Each test runs in a local frame of its own.
class RegistryNativesInVmTest : public JavaVMTest {
protected:
    void SetUp() override {
        JavaVMTest::SetUp();
        jni = env.get();
        ASSERT_EQ(jni->PushLocalFrame(64), 0);
    }

    void TearDown() override {
        krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, false);
        if (jni != nullptr) {
            jni->PopLocalFrame(nullptr);
            JavaVMTest::TearDown();
        }
    }

    jstring javaText(const std::wstring& text) {
        const std::u16string units = krel_platform::wideToUtf16(text);
        return jni->NewString(reinterpret_cast<const jchar*>(units.data()),
                              static_cast<jsize>(units.size()));
    }

    std::wstring nativeText(jstring text) {
        const jsize length = jni->GetStringLength(text);
        std::u16string units(static_cast<size_t>(length), u'\0');
        jni->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(units.data()));
        return krel_platform::utf16ToWide(units);
    }

    // The pending exception's class and message, cleared; empty texts when none is pending.
    PendingException takeException() {
        PendingException pending;
        jthrowable thrown = jni->ExceptionOccurred();
        if (thrown == nullptr) {
            return pending;
        }
        jni->ExceptionClear();
        jclass classClass = jni->FindClass("java/lang/Class");
        auto name = static_cast<jstring>(
            jni->CallObjectMethod(jni->GetObjectClass(thrown),
                                  jni->GetMethodID(classClass, "getName", "()Ljava/lang/String;")));
        EXPECT_FALSE(jni->ExceptionCheck());
        jclass throwable = jni->FindClass("java/lang/Throwable");
        auto message = static_cast<jstring>(jni->CallObjectMethod(
            thrown, jni->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;")));
        EXPECT_FALSE(jni->ExceptionCheck());
        pending.className = krel_platform::wideToUtf8(nativeText(name));
        pending.message = message != nullptr ? nativeText(message) : L"";
        return pending;
    }

    JNIEnv* jni = nullptr;
    const jobject natives = nullptr;
};

TEST_F(RegistryNativesInVmTest, KeyCreationInARefusingMachineHiveRaisesSecurityException) {
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey(
        jni, natives, kLocalMachine, javaText(L"Software\\Refused"), nullptr);
    const PendingException pending = takeException();
    EXPECT_EQ(pending.className, "java.lang.SecurityException");
    EXPECT_EQ(pending.message,
              L"Create registry key <Software\\Refused> Access denied: <5:Access is denied.>.");
}

TEST_F(RegistryNativesInVmTest, ValueWriteToARefusingMachineHiveRaisesSecurityException) {
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey(
        jni, natives, kLocalMachine, javaText(L"Software\\Existing"), nullptr);
    ASSERT_EQ(takeException().className, "");
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_setIntValue(
        jni, natives, kLocalMachine, javaText(L"Software\\Existing"), javaText(L"v"), 1);
    EXPECT_EQ(takeException().className, "java.lang.SecurityException");
}

TEST_F(RegistryNativesInVmTest, FailedIntReadAnswersTheDefault) {
    const jint missing = Java_com_vandrel_util_prefs_RegistryPreferencesJni_getIntValue(
        jni, natives, kCurrentUser, javaText(L"Software\\Missing"), javaText(L"value"), 7);
    EXPECT_EQ(takeException().className, "java.lang.Exception");
    EXPECT_EQ(missing, 7);
    const jint emptyKey = Java_com_vandrel_util_prefs_RegistryPreferencesJni_getIntValue(
        jni, natives, kCurrentUser, javaText(L"Software\\Missing"), javaText(L""), -3);
    EXPECT_EQ(takeException().message, L"Key is empty.");
    EXPECT_EQ(emptyKey, -3);
}

TEST_F(RegistryNativesInVmTest, FailedTextReadAnswersEmptyTextNotNull) {
    jstring missing = Java_com_vandrel_util_prefs_RegistryPreferencesJni_getStrValue(
        jni, natives, kCurrentUser, javaText(L"Software\\Missing"), javaText(L"value"));
    EXPECT_EQ(takeException().className, "java.lang.Exception");
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(jni->GetStringLength(missing), 0);
    jstring emptyParent = Java_com_vandrel_util_prefs_RegistryPreferencesJni_getStrValue(
        jni, natives, kCurrentUser, javaText(L""), javaText(L"value"));
    EXPECT_EQ(takeException().message, L"Parent key is empty.");
    ASSERT_NE(emptyParent, nullptr);
    EXPECT_EQ(jni->GetStringLength(emptyParent), 0);
}

TEST_F(RegistryNativesInVmTest, FailedListingsAnswerAnEmptyArrayNotNull) {
    using Listing = jobjectArray (*)(JNIEnv*, jobject, jint, jstring);
    for (Listing list : {&Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeys,
                         &Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeysWithValue}) {
        jobjectArray missing = list(jni, natives, kCurrentUser, javaText(L"Software\\Missing"));
        EXPECT_EQ(takeException().className, "java.lang.Exception");
        ASSERT_NE(missing, nullptr);
        EXPECT_EQ(jni->GetArrayLength(missing), 0);
        jobjectArray emptyKey = list(jni, natives, kCurrentUser, javaText(L""));
        EXPECT_EQ(takeException().message, L"Key is empty.");
        ASSERT_NE(emptyKey, nullptr);
        EXPECT_EQ(jni->GetArrayLength(emptyKey), 0);
    }
}

TEST_F(RegistryNativesInVmTest, KeyHoldingNulIsRefusedAndNoKeyIsCreatedUnderTheCutName) {
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey(
        jni, natives, kCurrentUser, javaText(std::wstring(L"Software\\Nul\0hidden", 19)), nullptr);
    const PendingException pending = takeException();
    EXPECT_EQ(pending.className, "java.lang.IllegalArgumentException");
    EXPECT_EQ(pending.message, L"Key holds a NUL character.");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Nul", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryNativesInVmTest, ValueNameOrTextHoldingNulIsRefusedAndNothingIsWritten) {
    const std::wstring parent = L"Software\\NulValues";
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_createKey(jni, natives, kCurrentUser,
                                                                 javaText(parent), nullptr);
    ASSERT_EQ(takeException().className, "");
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_setStrValue(
        jni, natives, kCurrentUser, javaText(parent), javaText(std::wstring(L"a\0b", 3)),
        javaText(L"x"));
    EXPECT_EQ(takeException().message, L"Key holds a NUL character.");
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_setStrValue(
        jni, natives, kCurrentUser, javaText(parent), javaText(L"a"),
        javaText(std::wstring(L"x\0y", 3)));
    EXPECT_EQ(takeException().message, L"Value holds a NUL character.");
    Java_com_vandrel_util_prefs_RegistryPreferencesJni_setIntValue(
        jni, natives, kCurrentUser, javaText(std::wstring(L"Software\0x", 10)), javaText(L"a"), 1);
    EXPECT_EQ(takeException().message, L"Parent key holds a NUL character.");
    jobjectArray written = Java_com_vandrel_util_prefs_RegistryPreferencesJni_getKeysWithValue(
        jni, natives, kCurrentUser, javaText(parent));
    ASSERT_EQ(takeException().className, "");
    EXPECT_EQ(jni->GetArrayLength(written), 0);
}

// The frame of the registry natives, run with work that throws what the registry never does.
class RegistryNativeFrameTest : public RegistryNativesInVmTest {
protected:
    // Runs a native of int result whose guarded work throws; answers what the native answered.
    jint runThrowing(const std::function<void()>& work) {
        return krel_std_internal::runRegistryNative<jint>(
            jni, KREL_NATIVE_SITE(L"frameTest"),
            [&](krel_std_internal::RegistryNativeFrame& frame) {
                return frame.guarded([&] {
                    work();
                    return 1;
                });
            },
            [] { return -1; });
    }
};

TEST_F(RegistryNativeFrameTest, HandlersMapEachLibraryExceptionByItsFirstMatch) {
    const struct {
        std::function<void()> work;
        const char* javaClass;
    } cases[] = {
        {[] { throw krel_std::KrelIllegalArgumentException(L"m"); },
         "java.lang.IllegalArgumentException"},
        {[] { throw krel_std::KrelIllegalStateException(L"m"); },
         "java.lang.IllegalStateException"},
        {[] { throw krel_std::KrelAccessException(L"m"); }, "java.lang.SecurityException"},
        {[] { throw krel_std::KrelUnknownException(L"m"); }, "java.lang.RuntimeException"},
        {[] { throw krel_std::KrelRuntimeException(L"m"); }, "java.lang.RuntimeException"},
        {[] { throw krel_std::KrelObjectNotFoundException(L"m"); }, "java.lang.Exception"},
        {[] { throw krel_std::KrelException(L"m"); }, "java.lang.Exception"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(runThrowing(each.work), -1);
        const PendingException pending = takeException();
        EXPECT_EQ(pending.className, each.javaClass);
        EXPECT_EQ(pending.message, L"m");
    }
}

TEST_F(RegistryNativeFrameTest, ForeignExceptionInTheGuardedBlockIsAnUnknownError) {
    EXPECT_EQ(runThrowing([] { throw std::runtime_error("foreign"); }), -1);
    const PendingException pending = takeException();
    EXPECT_EQ(pending.className, "java.lang.RuntimeException");
    EXPECT_EQ(pending.message, L"Unknown error encountered.");
}

TEST_F(RegistryNativeFrameTest, ExceptionOutsideTheGuardedBlockNeverLeavesTheNative) {
    const jint answer = krel_std_internal::runRegistryNative<jint>(
        jni, KREL_NATIVE_SITE(L"frameTest"),
        [](krel_std_internal::RegistryNativeFrame&) -> jint {
            throw krel_std::KrelAccessException(L"outside");
        },
        [] { return -1; });
    EXPECT_EQ(answer, -1);
    const PendingException pending = takeException();
    EXPECT_EQ(pending.className, "java.lang.RuntimeException");
    EXPECT_EQ(pending.message, L"Unknown error encountered.");
}

} // namespace
