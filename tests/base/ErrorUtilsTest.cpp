#include "base/ErrorUtils.h"

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "exception/KrelIllegalArgumentException.h"
#include "platform/WinBase.h"
#include "support/DebugOutputCapture.h"
#include "support/MessageOf.h"

using krel_std::ErrorUtils;
using krel_std::KrelIllegalArgumentException;
using krel_test::messageOf;

namespace {

const wchar_t CONTEXT[] = L"krel_test::Caller::operation";

} // namespace

TEST(ErrorUtilsChecks, IsEmptyExAnswersFalseForTextAndThrowsForEmptyText) {
    EXPECT_FALSE(ErrorUtils::isEmptyEx(L"name", CONTEXT, L"Key"));
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isEmptyEx(L"", CONTEXT, L"Key"); }),
              L"Key value is empty.");
}

TEST(ErrorUtilsChecks, PointerChecksNameTheArgument) {
    int value = 0;
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isNullEx(nullptr, CONTEXT, L"Buffer"); }),
              L"Buffer value is NULL.");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [&] { ErrorUtils::isNotNullEx(&value, CONTEXT, L"Buffer"); }),
              L"Buffer value is not NULL.");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [&] { ErrorUtils::isNullEx(&value, CONTEXT, L"Buffer"); }),
              L"<nothing thrown>");
}

TEST(ErrorUtilsChecks, PointerBoolFormsAnswerWhereTheExFormThrows) {
    int value = 0;
    EXPECT_TRUE(ErrorUtils::isNull(nullptr, CONTEXT, L"P"));
    EXPECT_FALSE(ErrorUtils::isNull(&value, CONTEXT, L"P"));
    EXPECT_FALSE(ErrorUtils::isNotNull(nullptr, CONTEXT, L"P"));
    EXPECT_TRUE(ErrorUtils::isNotNull(&value, CONTEXT, L"P"));
}

TEST(ErrorUtilsChecks, SharedPointerChecks) {
    const boost::shared_ptr<int> empty;
    const boost::shared_ptr<int> set(new int(1));
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [&] { ErrorUtils::isNullEx(empty, CONTEXT, L"Runnable"); }),
              L"Runnable value is NULL.");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [&] { ErrorUtils::isNullEx(set, CONTEXT, L"Runnable"); }),
              L"<nothing thrown>");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [&] { ErrorUtils::isNotNullEx(set, CONTEXT, L"Java VM"); }),
              L"Java VM value is not NULL.");
}

TEST(ErrorUtilsChecks, EqualityChecksShowTheComparedValue) {
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isEqualEx(3, 3, CONTEXT, L"Size"); }),
              L"Size value is equal to 3.");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isNotEqualEx(3, 4, CONTEXT, L"Size"); }),
              L"Size value is not equal to 4.");
    void* handle = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [&] { ErrorUtils::isEqualEx(handle, handle, CONTEXT, L"Handle"); }),
              L"Handle value is equal to 00001234.");
    EXPECT_TRUE(ErrorUtils::isEqual(5, 5, CONTEXT, L"Size"));
    EXPECT_FALSE(ErrorUtils::isEqual(5, 6, CONTEXT, L"Size"));
}

TEST(ErrorUtilsChecks, RangeChecksCompareSignedValues) {
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isBelowMinimumEx(-1L, 0, CONTEXT, L"Index"); }),
              L"Index value -1 is below minimum of 0.");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isAboveMaximumEx(81, 80, CONTEXT, L"Key length"); }),
              L"Key length value 81 is above maximum of 80.");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isOutsideRangeEx(11L, 0, 10L, CONTEXT, L"Limit"); }),
              L"Limit value 11 is outside minimum of 0 and maximum of 10.");
}

TEST(ErrorUtilsChecks, RangeBoundsThemselvesAreAccepted) {
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isOutsideRangeEx(0, 0, 10, CONTEXT, L"N"); }),
              L"<nothing thrown>");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isOutsideRangeEx(10, 0, 10, CONTEXT, L"N"); }),
              L"<nothing thrown>");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isBelowMinimumEx(0, 0, CONTEXT, L"N"); }),
              L"<nothing thrown>");
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isAboveMaximumEx(5L, 5L, CONTEXT, L"N"); }),
              L"<nothing thrown>");
}

// Before the static log is initialised DEBUG passes its threshold and log calls reach the
// debugger output, where the trace can be seen.
TEST(ErrorUtilsChecks, BelowMinimumBoolFormAnswersTrueAndStillTraces) {
    krel_test::DebugOutputCapture capture;
    EXPECT_TRUE(ErrorUtils::isBelowMinimum(1, 2, CONTEXT, L"Length"));
    EXPECT_FALSE(ErrorUtils::isBelowMinimum(2, 2, CONTEXT, L"Length"));
    EXPECT_NE(capture.all().find(L"Length value 1 is below minimum of 2."), std::wstring::npos);
}

TEST(ErrorUtilsChecks, PercentSignsInNamesStayUnchanged) {
    krel_test::DebugOutputCapture capture;
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>(
                  [] { ErrorUtils::isAboveMaximumEx(2, 1, CONTEXT, L"Odd %ls %d"); }),
              L"Odd %ls %d value 2 is above maximum of 1.");
    EXPECT_NE(capture.all().find(L"Odd %ls %d value 2 is above maximum of 1."), std::wstring::npos);
}

TEST(ErrorUtilsTexts, KnownCodeLosesItsLineEnd) {
    EXPECT_EQ(ErrorUtils::getWindowsErrorDescription(2),
              L"2:The system cannot find the file specified.");
    EXPECT_EQ(ErrorUtils::getErrorDescription(5), L"5:Access is denied.");
}

TEST(ErrorUtilsTexts, UnknownCodeAnswersTheCodeAlone) {
    EXPECT_EQ(ErrorUtils::getWindowsErrorDescription(987654), L"987654:");
    EXPECT_EQ(ErrorUtils::getWindowsErrorDescription(-1), L"-1:");
}

TEST(ErrorUtilsTexts, LastErrorDescriptionUsesTheThreadsLastError) {
    SetLastError(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ErrorUtils::getLastError(), 32);
    EXPECT_EQ(ErrorUtils::getLastErrorDescription(),
              L"32:The process cannot access the file because it is being used by another "
              L"process.");
}

TEST(ErrorUtilsChecks, FailedChecksCarryNoErrorNumber) {
    const auto errorNumberOf = [](auto&& check) {
        try {
            check();
        } catch (const KrelIllegalArgumentException& exception) {
            return exception.getErrNum();
        }
        return -1;
    };
    EXPECT_EQ(0, errorNumberOf([] { ErrorUtils::isEmptyEx(L"", CONTEXT, L"Key"); }));
    EXPECT_EQ(0, errorNumberOf([] { ErrorUtils::isNullEx(nullptr, CONTEXT, L"Buffer"); }));
    EXPECT_EQ(0, errorNumberOf([] { ErrorUtils::isBelowMinimumEx(1, 2, CONTEXT, L"Size"); }));
    EXPECT_EQ(0, errorNumberOf([] { ErrorUtils::isEqualEx(3, 3, CONTEXT, L"Count"); }));
}
