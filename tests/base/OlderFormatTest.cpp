#include <gtest/gtest.h>
#include <string>

#include "base/KrelStdUtils.h"
#include "support/AddressSpaceLimit.h"

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

namespace {

// A width whose text (8 GB of wide characters) cannot be had in the child's address space.
std::string exhaustedMemoryLeavesTheTextAsItWas() {
    KrelStd::SWString text(L"kept");
    KrelStd::sprintfStringAppend(text, L"%*d", 2000000000, 1);
    if (text != L"kept") {
        return "text changed";
    }
    return KrelStd::sprintfString(L"%*d", 2000000000, 1).empty() ? "" : "text not empty";
}

} // namespace

TEST(OlderFormat, ExhaustedMemoryLeavesTheTextAsItWas) {
    if (krel_test::addressSanitizerActive()) {
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(krel_test::exitWithCheckUnderLimit(1ULL << 30, exhaustedMemoryLeavesTheTextAsItWas),
                ::testing::ExitedWithCode(0), "");
}
