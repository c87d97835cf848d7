#include "exception/KrelException.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "exception/KrelAccessException.h"
#include "exception/KrelIOException.h"
#include "platform/DebugOutput.h"

using namespace krel_std;

namespace {

const std::wstring IO_NAME = L"com.vandrel.exception.KrelIOException";
const std::wstring ACCESS_NAME = L"com.vandrel.exception.KrelAccessException";

// A stack-trace text can only be set by a subclass (the Java bridge does so).
class TracedException : public KrelException {
public:
    TracedException(const std::wstring& message, const std::wstring& trace)
        : KrelException(message) {
        stackTrace = trace;
    }
    KrelException* newInstance() const override { return new TracedException(*this); }
};

} // namespace

TEST(KrelExceptionTest, DefaultExceptionHasEmptyMessageNoCauseAndErrorZero) {
    KrelException e;
    EXPECT_EQ(L"", e.getMessage());
    EXPECT_EQ(0, e.getErrNum());
    EXPECT_EQ(nullptr, e.getNestedException());
    EXPECT_EQ(L"com.vandrel.exception.KrelException: ", e.toString());
}

TEST(KrelExceptionTest, WhatNeverAnswersTheMessage) {
    KrelException e(L"disk on fire");
    EXPECT_EQ(nullptr, std::strstr(e.what(), "disk on fire"));
}

TEST(KrelExceptionTest, MessageAndCauseJoinWithColon) {
    KrelIOException e(L"A", KrelAccessException(L"B"));
    EXPECT_EQ(L"A: B", e.getMessage());
}

TEST(KrelExceptionTest, EmptyMessageWithCauseAnswersCauseMessage) {
    KrelException e(L"", KrelAccessException(L"B"));
    EXPECT_EQ(L"B", e.getMessage());
}

TEST(KrelExceptionTest, CauseConstructorTakesCauseErrorNumberUnlessOneIsGiven) {
    KrelAccessException cause(L"B", 5);
    EXPECT_EQ(5, KrelException(L"A", cause).getErrNum());
    EXPECT_EQ(7, KrelException(L"A", 7, cause).getErrNum());
}

TEST(KrelExceptionTest, ToStringRepeatsTheCauseChain) {
    KrelIOException e(L"A", KrelAccessException(L"B"));
    EXPECT_EQ(IO_NAME + L": A: B; --> nested " + ACCESS_NAME + L": B", e.toString());
}

TEST(KrelExceptionTest, NestedExceptionIsAFreshCopyOfTheCauseEachCall) {
    KrelIOException e(L"A", KrelAccessException(L"B", 3));
    std::unique_ptr<KrelException> first(e.getNestedException());
    std::unique_ptr<KrelException> second(e.getNestedException());
    ASSERT_NE(nullptr, first);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(ACCESS_NAME, first->getClassName());
    EXPECT_EQ(3, first->getErrNum());
    first.reset();
    EXPECT_EQ(L"A: B", e.getMessage());
}

TEST(KrelExceptionTest, StackTraceOfTwoEmptyLevelsIsTwoSeparators) {
    KrelException e(L"top", KrelException(L"middle", KrelException(L"bottom")));
    EXPECT_EQ(L"-------- nested by: -------- nested by: ", e.getStackTraceString());
}

TEST(KrelExceptionTest, StackTraceListsCauseTracesInnermostFirst) {
    KrelException e(L"top", TracedException(L"inner", L"java trace"));
    EXPECT_EQ(L"java trace-------- nested by: ", e.getStackTraceString());
    EXPECT_EQ(L"own", TracedException(L"x", L"own").getStackTraceString());
}

TEST(KrelExceptionTest, ValuesAreStoredReplacedAndListedInKeyOrder) {
    KrelException e(L"A");
    EXPECT_EQ(L"KeyValues{}", e.getKeyValuesString());
    e.setValue(L"b", L"2");
    e.setValue(L"a", L"1");
    e.setValue(L"b", L"3");
    EXPECT_EQ(L"3", e.getValue(L"b"));
    EXPECT_EQ(L"", e.getValue(L"missing"));
    EXPECT_EQ(L"KeyValues{a=1,b=3}", e.getKeyValuesString());
}

TEST(KrelExceptionTest, CopyKeepsTextsButDropsValues) {
    KrelException original(L"A", 9, KrelAccessException(L"B"));
    original.setValue(L"k", L"v");
    KrelException copy(original);
    EXPECT_EQ(L"A: B", copy.getMessage());
    EXPECT_EQ(9, copy.getErrNum());
    EXPECT_EQ(L"KeyValues{}", copy.getKeyValuesString());
}

TEST(KrelExceptionTest, AssignmentCopiesEverythingIncludingValues) {
    KrelException source(L"A", 9, KrelAccessException(L"B"));
    source.setValue(L"k", L"v");
    KrelException target(L"old", KrelIOException(L"old cause"));
    target.setValue(L"x", L"y");
    target = source;
    EXPECT_EQ(L"A: B", target.getMessage());
    EXPECT_EQ(9, target.getErrNum());
    EXPECT_EQ(L"KeyValues{k=v}", target.getKeyValuesString());
    EXPECT_EQ(source.toString(), target.toString());
}

TEST(KrelExceptionTest, SelfAssignmentChangesNothing) {
    KrelException e(L"A", KrelAccessException(L"B"));
    e.setValue(L"k", L"v");
    KrelException& alias = e;
    e = alias;
    EXPECT_EQ(L"A: B", e.getMessage());
    EXPECT_EQ(L"v", e.getValue(L"k"));
}

TEST(KrelExceptionTest, AssigningOwnCauseKeepsItsText) {
    KrelException e(L"A", KrelException(L"B", KrelException(L"C")));
    std::unique_ptr<KrelException> cause(e.getNestedException());
    e = *cause;
    EXPECT_EQ(L"B: C", e.getMessage());
}

class ExceptionLoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        krel_platform::setDebugOutputHook(
            [this](const std::wstring& text) { lines.push_back(text); });
    }
    void TearDown() override { krel_platform::setDebugOutputHook(nullptr); }

    std::vector<std::wstring> lines;
};

TEST_F(ExceptionLoggingTest, LogDebugWritesTextAndStackTrace) {
    KrelIOException e(L"disk full", 28);
    e.logDebug(L"krel_std::Test::run");
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(IO_NAME + L": disk full Stack trace <>."));
}

TEST_F(ExceptionLoggingTest, LoggingBelowTheThresholdWritesNothing) {
    KrelException e(L"quiet");
    e.logDump(L"krel_std::Test::run");
    e.logTrace(L"krel_std::Test::run");
    e.logCall(L"krel_std::Test::run");
    EXPECT_TRUE(lines.empty());
}
