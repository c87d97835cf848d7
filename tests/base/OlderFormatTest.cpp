#include <gtest/gtest.h>

#include "base/KrelStdUtils.h"

TEST(OlderFormat, SprintfStringAnswersTheFormattedText) {
    EXPECT_EQ(KrelStd::sprintfString(L"%ls <%ld> %S", L"value", -5L, "narrow"),
              L"value <-5> narrow");
}

TEST(OlderFormat, RefusedFormatLeavesTheTextAsItWas) {
    KrelStd::SWString text(L"kept");
    KrelStd::sprintfStringAppend(text, L"bad %n", nullptr);
    EXPECT_EQ(text, L"kept");
    EXPECT_EQ(KrelStd::sprintfString(L"%y"), L"");
}
