#include "log/LineWriter.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

#include "log/DecimalDigits.h"

using krel_std_internal::kDecimalRoom;
using krel_std_internal::LineWriter;
using krel_std_internal::writeDecimal;

namespace {

std::wstring decimal(long long value, std::size_t minimum) {
    wchar_t buffer[kDecimalRoom + 8];
    return std::wstring(buffer, writeDecimal(buffer, value, minimum));
}

TEST(DecimalDigitsTest, PadsToTheMinimumLikePrintfPrecision) {
    EXPECT_EQ(L"000", decimal(0, 3));
    EXPECT_EQ(L"042", decimal(42, 3));
    EXPECT_EQ(L"1234", decimal(1234, 3));
    EXPECT_EQ(L"-007", decimal(-7, 3));
    EXPECT_EQ(L"0", decimal(0, 1));
}

TEST(DecimalDigitsTest, WritesTheExtremesWhole) {
    EXPECT_EQ(L"-9223372036854775808", decimal(LLONG_MIN, 1));
    EXPECT_EQ(L"9223372036854775807", decimal(LLONG_MAX, 1));
}

// Pieces that straddle the writer's own buffer, pieces larger than it, and digits written
// into reserved room near its end must all arrive in order.
TEST(LineWriterTest, PiecesOfAnySizeArriveWholeAndInOrder) {
    std::wstring line = L"start:";
    std::wstring expected = line;
    LineWriter writer(line);
    for (int round = 0; round < 40; ++round) {
        const std::wstring piece(static_cast<std::size_t>(round * 7 % 23), L'a' + round % 26);
        writer.put(piece);
        writer.put(L'|');
        writer.commit(writeDecimal(writer.room(kDecimalRoom + 4), round, 4));
        expected += piece + L'|' + decimal(round, 4);
    }
    const std::wstring large(1000, L'L');
    writer.put(large);
    expected += large;
    writer.put(L'.');
    expected += L'.';
    writer.finish();
    EXPECT_EQ(expected, line);
}

} // namespace
