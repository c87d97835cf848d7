// Reading Java version texts and their order.
#include <gtest/gtest.h>

#include "jni/JVM.h"

namespace {

using krel_std::JVM;

struct VersionRow {
    const wchar_t* text;
    int32_t major;
    int32_t minor;
    int32_t micro;
    int32_t update;
    const wchar_t* qualifier;
};

class JVMVersionTextTest : public ::testing::TestWithParam<VersionRow> {};

TEST_P(JVMVersionTextTest, ReadsEachPart) {
    const VersionRow& row = GetParam();
    const JVM::JVMVersion version = JVM::getJVMVersion(row.text);
    EXPECT_EQ(version.major, row.major);
    EXPECT_EQ(version.minor, row.minor);
    EXPECT_EQ(version.micro, row.micro);
    EXPECT_EQ(version.update, row.update);
    EXPECT_EQ(version.qualifier, row.qualifier);
}

INSTANTIATE_TEST_SUITE_P(Texts, JVMVersionTextTest,
                         ::testing::Values(VersionRow{L"1.6.0_10-rc", 1, 6, 0, 10, L"rc"},
                                           VersionRow{L"1.5.0-beta", 1, 5, 0, 0, L"beta"},
                                           VersionRow{L"1.6", 1, 6, 0, 0, L""},
                                           VersionRow{L"17", 17, 0, 0, 0, L""},
                                           VersionRow{L"17.0.15", 17, 0, 15, 0, L""},
                                           VersionRow{L"17.0.15+6", 17, 0, 15, 0, L""},
                                           VersionRow{L"1.6.0_10", 1, 6, 0, 10, L""},
                                           VersionRow{L"x.y", 0, 0, 0, 0, L""},
                                           VersionRow{L"", 0, 0, 0, 0, L""}));

bool below(const wchar_t* first, const wchar_t* second) {
    return JVM::getJVMVersion(first) < JVM::getJVMVersion(second);
}

TEST(JVMVersionOrderTest, AQualifierRanksAboveNone) {
    EXPECT_TRUE(below(L"1.6.0_10", L"1.6.0_10-rc"));
    EXPECT_FALSE(below(L"1.6.0_10-rc", L"1.6.0_10"));
}

TEST(JVMVersionOrderTest, TheFirstUnequalPartDecides) {
    EXPECT_TRUE(below(L"1.6.0_20", L"1.7.0_05"));
    EXPECT_FALSE(below(L"1.7.0_05", L"1.6.0_20"));
    EXPECT_TRUE(below(L"17.0.15", L"25.0.3"));
    EXPECT_TRUE(below(L"1.6.0_07", L"1.6.0_20"));
}

TEST(JVMVersionOrderTest, EqualVersionsAreNotBelowEachOther) {
    EXPECT_FALSE(below(L"17.0.15", L"17.0.15"));
    EXPECT_FALSE(below(L"1.6", L"1.6.0_0"));
}

} // namespace
