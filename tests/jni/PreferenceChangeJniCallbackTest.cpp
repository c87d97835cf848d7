// The record of one changed preference, turned into a Java object through a played JNIEnv.
#include "jni/PreferenceChangeJniCallback.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"
#include "jni/JniQueueTestSupport.h"

namespace {

using krel_std::PreferenceChangeJniCallback;
using krel_test::FakeJniEnv;

const jint USER_ROOT = static_cast<jint>(0x80000001u);

std::wstring refusal(const std::wstring& path, const std::wstring& key) {
    try {
        PreferenceChangeJniCallback(USER_ROOT, path, key, L"v");
    } catch (const krel_std::KrelIllegalArgumentException& error) {
        return error.getMessage();
    }
    return L"(nothing thrown)";
}

class PreferenceChangeJniCallbackTest : public ::testing::Test {
protected:
    jobject create(const std::wstring& newValue = L"new text") {
        PreferenceChangeJniCallback callback(USER_ROOT, L"a\\b\\c", L"name", newValue);
        return callback.createJniObject(fake.env());
    }

    FakeJniEnv fake;
};

TEST_F(PreferenceChangeJniCallbackTest, ConstructsTheJavaCallbackWithRootPathKeyAndValue) {
    EXPECT_NE(nullptr, create());
    EXPECT_EQ((std::vector<std::string>{
                  "FindClass com/vandrel/util/prefs/PreferenceChangeCallback",
                  "GetMethodID <init> (ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
                  "NewString", "NewString", "NewString", "NewObject"}),
              fake.calls());
    const std::vector<FakeJniEnv::Construction> made = fake.constructions();
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(-2147483647, made[0].root);
    EXPECT_EQ(L"a\\b\\c", made[0].path);
    EXPECT_EQ(L"name", made[0].key);
    EXPECT_EQ(L"new text", made[0].newValue);
}

TEST_F(PreferenceChangeJniCallbackTest, LeavesOnlyTheNewObjectsReference) {
    create();
    EXPECT_EQ(1u, fake.liveReferences());
}

TEST_F(PreferenceChangeJniCallbackTest, TextOutsideTheBasicPlaneCrossesAsASurrogatePair) {
    create(L"x\U0001F600");
    const std::vector<std::u16string> strings = fake.strings();
    ASSERT_EQ(3u, strings.size());
    EXPECT_EQ(u"x\xD83D\xDE00", strings[2]);
}

// A consumer whose class path lacks the class gets the VM's error, not a crash.
TEST_F(PreferenceChangeJniCallbackTest, MissingClassAnswersNullWithTheErrorPending) {
    fake.classMissing = true;
    EXPECT_EQ(nullptr, create());
    EXPECT_TRUE(fake.errorPending());
    EXPECT_EQ(std::vector<std::string>{"FindClass failed"}, fake.calls());
}

TEST_F(PreferenceChangeJniCallbackTest, MissingConstructorAnswersNullAndFreesTheClass) {
    fake.constructorMissing = true;
    EXPECT_EQ(nullptr, create());
    EXPECT_TRUE(fake.errorPending());
    EXPECT_EQ(0u, fake.liveReferences());
    EXPECT_TRUE(fake.constructions().empty());
}

TEST_F(PreferenceChangeJniCallbackTest, FailedStringAnswersNullWithoutConstructing) {
    fake.failingString = 1;
    EXPECT_EQ(nullptr, create());
    EXPECT_TRUE(fake.errorPending());
    EXPECT_EQ(0u, fake.liveReferences());
    EXPECT_TRUE(fake.constructions().empty());
}

TEST_F(PreferenceChangeJniCallbackTest, RefusedObjectAnswersNullAndFreesTheStrings) {
    fake.objectRefused = true;
    EXPECT_EQ(nullptr, create());
    EXPECT_TRUE(fake.errorPending());
    EXPECT_EQ(0u, fake.liveReferences());
}

TEST(PreferenceChangeJniCallbackArgumentsTest, EmptyPathIsRefused) {
    EXPECT_EQ(L"Path value is empty.", refusal(L"", L"k"));
}

TEST(PreferenceChangeJniCallbackArgumentsTest, EmptyKeyIsRefused) {
    EXPECT_EQ(L"Key value is empty.", refusal(L"a", L""));
}

} // namespace
