#include "base/KrelStdFields.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using KrelStd::SWString;

TEST(OlderDelimFields, CountIsDelimitersPlusOne) {
    EXPECT_EQ(KrelStd::NbrDelimFields(L"a,b,,c", L','), 4);
    EXPECT_EQ(KrelStd::NbrDelimFields(L"", L','), 1);
}

TEST(OlderDelimFields, FieldsByNumberIncludingEmptyAndMissing) {
    const SWString text(L"a,b,,c");
    SWString field(L"old");
    EXPECT_EQ(KrelStd::GetDelimField(field, text, 2, L','), 1);
    EXPECT_EQ(field, L"b");
    EXPECT_EQ(KrelStd::GetDelimField(field, text, 3, L','), 0);
    EXPECT_EQ(field, L"");
    EXPECT_EQ(KrelStd::GetDelimField(field, text, 4, L','), 1);
    EXPECT_EQ(field, L"c");
    EXPECT_EQ(KrelStd::GetDelimField(field, text, 5, L','), 0);
    EXPECT_EQ(field, L"");
    EXPECT_EQ(KrelStd::GetDelimField(field, text, -3, L','), 1);
    EXPECT_EQ(field, L"a");
    EXPECT_EQ(KrelStd::GetDelimField(field, text, INT_MAX, L','), 0);
}

TEST(OlderDelimFields, NarrowFieldIsAnsiTextWithANarrowDelimiter) {
    char field[16];
    EXPECT_EQ(KrelStd::GetDelimField(field, sizeof field,
                                     "x\xA7"
                                     "caf\xE9\xA7y",
                                     2, '\xA7'),
              4);
    EXPECT_STREQ(field, "caf\xE9");
}

TEST(OlderDelimFields, NarrowCopyAlwaysEndsWithinTheSize) {
    char field[8];
    std::memset(field, '#', sizeof field);
    EXPECT_EQ(KrelStd::GetDelimField(field, 4, "abcdef;g", 1, ';'), 3);
    EXPECT_STREQ(field, "abc");
    EXPECT_EQ(field[4], '#');
    std::memset(field, '#', sizeof field);
    EXPECT_EQ(KrelStd::GetDelimField(field, 0, "abc", 1, ';'), 0);
    EXPECT_EQ(KrelStd::GetDelimField(field, -5, "abc", 1, ';'), 0);
    EXPECT_EQ(field[0], '#');
}

TEST(OlderPosFields, SubstringByPositionAndLength) {
    SWString field;
    EXPECT_EQ(KrelStd::GetPosField(field, L"abcdef", 3, 10), 1);
    EXPECT_EQ(field, L"cdef");
    EXPECT_EQ(KrelStd::GetPosField(field, L"abcdef", 2, 2), 1);
    EXPECT_EQ(field, L"bc");
}

TEST(OlderPosFields, PositionOutsideOrNoLengthGivesNothing) {
    SWString field(L"old");
    EXPECT_EQ(KrelStd::GetPosField(field, L"abcdef", 0, 2), 0);
    EXPECT_EQ(field, L"");
    EXPECT_EQ(KrelStd::GetPosField(field, L"abcdef", 7, 2), 0);
    EXPECT_EQ(KrelStd::GetPosField(field, L"abcdef", 1, 0), 0);
}

TEST(OlderPosFields, NarrowCopyEndsAfterAtMostLengthBytes) {
    char field[8];
    std::memset(field, '#', sizeof field);
    EXPECT_EQ(KrelStd::GetPosField(field, "abcdef", 2, 3), 1);
    EXPECT_STREQ(field, "bcd");
    EXPECT_EQ(field[4], '#');
    EXPECT_EQ(KrelStd::GetPosField(field, "abcdef", -1, 3), 0);
    EXPECT_STREQ(field, "");
    std::memset(field, '#', sizeof field);
    EXPECT_EQ(KrelStd::GetPosField(field, "abcdef", 1, -1), 0);
    EXPECT_EQ(field[0], '#');
}

class OlderRanges : public ::testing::Test {
protected:
    // Parses into a fresh array of maximum + 1 entries (one more, never written, as a guard).
    int parse(const wchar_t* text, int maximum) {
        flags.assign(static_cast<std::size_t>(maximum) + 2, 7);
        return KrelStd::RangeStrToIntArr(text, flags.data(), maximum);
    }
    std::vector<int> marked() const {
        std::vector<int> indexes;
        for (std::size_t i = 0; i + 1 < flags.size(); ++i) {
            if (flags[i] == 1) {
                indexes.push_back(static_cast<int>(i));
            }
        }
        return indexes;
    }

    std::vector<int> flags;
};

TEST_F(OlderRanges, RangeEndsAreCountedTwice) {
    EXPECT_EQ(parse(L"1-3", 5), 5);
    EXPECT_EQ(marked(), (std::vector<int>{1, 2, 3}));
}

TEST_F(OlderRanges, NumbersAboveTheMaximumMarkNothing) {
    EXPECT_EQ(parse(L"2, 4-6", 5), 4);
    EXPECT_EQ(marked(), (std::vector<int>{2, 4, 5}));
    EXPECT_EQ(flags[6], 7);
}

TEST_F(OlderRanges, BlanksAroundTheDashStillMakeARange) {
    EXPECT_EQ(parse(L"1 - 3", 9), 5);
    EXPECT_EQ(marked(), (std::vector<int>{1, 2, 3}));
}

TEST_F(OlderRanges, RepeatedNumbersAreCountedEachTime) {
    EXPECT_EQ(parse(L"4,4;4", 9), 3);
    EXPECT_EQ(marked(), (std::vector<int>{4}));
}

TEST_F(OlderRanges, DescendingRangeMarksOnlyItsNumbers) {
    EXPECT_EQ(parse(L"5-2", 9), 2);
    EXPECT_EQ(marked(), (std::vector<int>{2, 5}));
}

TEST_F(OlderRanges, RangeWithoutLowerEndStartsAtZero) {
    EXPECT_EQ(parse(L"-2", 9), 4);
    EXPECT_EQ(marked(), (std::vector<int>{0, 1, 2}));
}

TEST_F(OlderRanges, HugeNumbersClampInsteadOfWrapping) {
    // 2^32 + 1 would wrap to 1 if narrowed without clamping.
    EXPECT_EQ(parse(L"4294967297", 9), 0);
    EXPECT_EQ(parse(L"99999999999999999999999", 9), 0);
    EXPECT_TRUE(marked().empty());
}

TEST_F(OlderRanges, EntriesAreClearedFirst) {
    parse(L"", 3);
    EXPECT_EQ(flags, (std::vector<int>{0, 0, 0, 0, 7}));
}
