// Crossing between native text and Java objects in a running VM.
#include "jni/JNIUtils.h"

#include <algorithm>
#include <utility>

#include "JavaVMTest.h"
#include "jni/JNIExceptionLogger.h"
#include "support/DebugOutputCapture.h"

namespace {

using JNIUtilsTest = JavaVMTest;

// The UTF-16 units of a Java string.
std::u16string unitsOf(JNIEnv* env, jstring text) {
    const jsize length = env->GetStringLength(text);
    std::u16string units(static_cast<size_t>(length), u'\0');
    env->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(&units[0]));
    return units;
}

jstring javaString(JNIEnv* env, const std::u16string& units) {
    return env->NewString(reinterpret_cast<const jchar*>(units.data()),
                          static_cast<jsize>(units.size()));
}

// The texts of a Java string array, each element through getJniString.
std::vector<std::wstring> textsOf(JNIEnv* env, jobjectArray array) {
    std::vector<std::wstring> texts;
    for (jsize i = 0; i < env->GetArrayLength(array); ++i) {
        texts.push_back(krel_std::getJniString(
            env, static_cast<jstring>(env->GetObjectArrayElement(array, i))));
    }
    return texts;
}

TEST_F(JNIUtilsTest, ASurrogatePairReadsAsOneCharacter) {
    EXPECT_EQ(krel_std::getJniString(env.get(), javaString(env.get(), u"a\U0001F600b")),
              L"a\U0001F600b");
}

TEST_F(JNIUtilsTest, ALoneSurrogateSurvivesBothWays) {
    const std::u16string lone = {u'a', static_cast<char16_t>(0xD800), u'b'};
    const std::wstring wide = krel_std::getJniString(env.get(), javaString(env.get(), lone));
    EXPECT_EQ(wide, (std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}));

    const jobjectArray array = krel_std::newJniStringArray(env.get(), {wide});
    ASSERT_NE(array, nullptr);
    const jstring element = static_cast<jstring>(env->GetObjectArrayElement(array, 0));
    EXPECT_EQ(unitsOf(env.get(), element), lone);
    env->DeleteLocalRef(element);
    env->DeleteLocalRef(array);
}

TEST_F(JNIUtilsTest, EmptyAndNullStringsReadAsTheEmptyText) {
    EXPECT_EQ(krel_std::getJniString(env.get(), javaString(env.get(), u"")), L"");
    EXPECT_EQ(krel_std::getJniString(env.get(), nullptr), L"");
}

TEST_F(JNIUtilsTest, AStringArrayHoldsEachTextInOrder) {
    const std::vector<std::wstring> texts = {L"one", L"", L"\U0001F600", L"caf\u00e9"};
    const jobjectArray array = krel_std::newJniStringArray(env.get(), texts);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(textsOf(env.get(), array), texts);
    env->DeleteLocalRef(array);
}

TEST_F(JNIUtilsTest, AnEmptyListMakesAnEmptyArray) {
    const jobjectArray array = krel_std::newJniStringArray(env.get(), {});
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(env->GetArrayLength(array), 0);
    env->DeleteLocalRef(array);
}

TEST_F(JNIUtilsTest, ALongListKeepsNoLocalReferencePerElement) {
    const std::vector<std::wstring> texts(5000, L"element");
    const jobjectArray array = krel_std::newJniStringArray(env.get(), texts);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(env->GetArrayLength(array), 5000);
    env->DeleteLocalRef(array);
}

class JNIThrowTest : public JavaVMTest {
protected:
    // The text a String method answers; "(threw)" when it threw.
    std::wstring callString(jobject target, jmethodID method) {
        const jstring text = static_cast<jstring>(env->CallObjectMethod(target, method));
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            return L"(threw)";
        }
        return krel_std::getJniString(env.get(), text);
    }

    // Takes the pending exception: its class name and message ("(none)" when none is pending).
    std::pair<std::wstring, std::wstring> takePending() {
        const jthrowable pending = env->ExceptionOccurred();
        if (pending == nullptr) {
            return {L"(none)", L"(none)"};
        }
        env->ExceptionClear();
        const jclass throwable = findClass("java/lang/Throwable");
        const jclass classClass = findClass("java/lang/Class");
        const jmethodID getMessage =
            env->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;");
        const jmethodID getName = env->GetMethodID(classClass, "getName", "()Ljava/lang/String;");
        const jclass actual = env->GetObjectClass(pending);
        const std::wstring name = callString(actual, getName);
        const std::wstring message = callString(pending, getMessage);
        env->DeleteLocalRef(actual);
        env->DeleteLocalRef(classClass);
        env->DeleteLocalRef(throwable);
        env->DeleteLocalRef(pending);
        return {name, message};
    }
};

TEST_F(JNIThrowTest, TheNamedClassIsLeftPendingWithTheMessageVerbatim) {
    krel_std::throwException(env.get(), "java/lang/IllegalStateException", L"50% %s %n \U0001F600",
                             false);
    EXPECT_EQ(takePending(), std::make_pair(std::wstring(L"java.lang.IllegalStateException"),
                                            std::wstring(L"50% %s %n \U0001F600")));
}

TEST_F(JNIThrowTest, EachWrapperNamesItsClass) {
    using Thrower = void (*)(JNIEnv*, const std::wstring&, bool);
    const std::vector<std::pair<Thrower, std::wstring>> wrappers = {
        {krel_std::throwException, L"java.lang.Exception"},
        {krel_std::throwRuntimeException, L"java.lang.RuntimeException"},
        {krel_std::throwIllegalArgumentException, L"java.lang.IllegalArgumentException"},
        {krel_std::throwIllegalStateException, L"java.lang.IllegalStateException"},
        {krel_std::throwSecurityException, L"java.lang.SecurityException"},
    };
    for (const auto& wrapper : wrappers) {
        wrapper.first(env.get(), L"text", false);
        EXPECT_EQ(takePending(), std::make_pair(wrapper.second, std::wstring(L"text")));
    }
}

TEST_F(JNIThrowTest, AnUnknownClassLeavesTheVMsErrorPending) {
    krel_std::throwException(env.get(), "no/such/Failure", L"text", false);
    EXPECT_EQ(takePending().first, L"java.lang.NoClassDefFoundError");
}

TEST_F(JNIThrowTest, AClassWithoutAMessageConstructorLeavesTheVMsErrorPending) {
    krel_std::throwException(env.get(), "java/lang/Object", L"text", false);
    EXPECT_EQ(takePending().first, L"java.lang.NoSuchMethodError");
}

TEST_F(JNIThrowTest, OnlyALoggedThrowTracesItsMessage) {
    krel_test::DebugOutputCapture output;
    krel_std::throwException(env.get(), "java/lang/IllegalStateException", L"quiet 50%", false);
    takePending();
    EXPECT_EQ(output.all().find(L"quiet 50%"), std::wstring::npos);
    krel_std::throwException(env.get(), "java/lang/IllegalStateException", L"loud 50%", true);
    takePending();
    const std::vector<std::wstring> lines = output.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& line) {
                                return line.find(L" : loud 50%") != std::wstring::npos;
                            }),
              1);
}

class SetBooleanTest : public JavaVMTest {
protected:
    void SetUp() override {
        JavaVMTest::SetUp();
        booleanClass = findClass("java/lang/Boolean");
        booleanValue = env->GetMethodID(booleanClass, "booleanValue", "()Z");
    }

    void TearDown() override {
        env->DeleteLocalRef(booleanClass);
        JavaVMTest::TearDown();
    }

    jobject newBoolean(bool value) {
        const jmethodID constructor = env->GetMethodID(booleanClass, "<init>", "(Z)V");
        const jobject flag =
            env->NewObject(booleanClass, constructor, static_cast<jboolean>(value));
        EXPECT_FALSE(env->ExceptionCheck());
        return flag;
    }

    jobject constant(const char* name) {
        const jfieldID field = env->GetStaticFieldID(booleanClass, name, "Ljava/lang/Boolean;");
        return env->GetStaticObjectField(booleanClass, field);
    }

    bool valueOf(jobject flag) {
        const bool value = env->CallBooleanMethod(flag, booleanValue) == JNI_TRUE;
        EXPECT_FALSE(env->ExceptionCheck());
        return value;
    }

    jclass booleanClass = nullptr;
    jmethodID booleanValue = nullptr;
};

TEST_F(SetBooleanTest, TheCallersBooleanTakesTheFlag) {
    const jobject flag = newBoolean(false);
    krel_std::setBoolean(env.get(), flag, true);
    EXPECT_TRUE(valueOf(flag));
    krel_std::setBoolean(env.get(), flag, false);
    EXPECT_FALSE(valueOf(flag));
    env->DeleteLocalRef(flag);
}

TEST_F(SetBooleanTest, TheSharedConstantsKeepTheirValues) {
    const jobject falseConstant = constant("FALSE");
    const jobject trueConstant = constant("TRUE");
    krel_std::setBoolean(env.get(), falseConstant, true);
    krel_std::setBoolean(env.get(), trueConstant, false);
    EXPECT_FALSE(valueOf(falseConstant));
    EXPECT_TRUE(valueOf(trueConstant));
    env->DeleteLocalRef(falseConstant);
    env->DeleteLocalRef(trueConstant);
}

TEST_F(SetBooleanTest, AnObjectOfAnotherClassIsRefused) {
    const jstring text = env->NewStringUTF("true");
    krel_std::setBoolean(env.get(), text, true);
    const jthrowable pending = env->ExceptionOccurred();
    env->ExceptionClear();
    const jclass expected = findClass("java/lang/IllegalArgumentException");
    EXPECT_TRUE(pending != nullptr && env->IsInstanceOf(pending, expected));
    env->DeleteLocalRef(expected);
    env->DeleteLocalRef(pending);
    env->DeleteLocalRef(text);
}

TEST_F(SetBooleanTest, NullIsLeftAlone) {
    krel_std::setBoolean(env.get(), nullptr, true);
    EXPECT_FALSE(env->ExceptionCheck());
}

} // namespace
