#include "log/LineWriter.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

#include "log/CharacterMove.h"
#include "log/DecimalDigits.h"

using krel_std_internal::kDecimalRoom;
using krel_std_internal::LineWriter;
using krel_std_internal::moveCharacters;
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
std::wstring numbered(std::size_t count) {
    std::wstring text;
    for (std::size_t i = 0; i < count; ++i) {
        text += static_cast<wchar_t>(L'A' + i);
    }
    return text;
}

// Every length up to beyond the inline blocks arrives whole, and nothing around the target is
// touched.
TEST(CharacterMoveTest, RunsOfEveryLengthArriveWhole) {
    for (std::size_t count = 0; count <= 40; ++count) {
        const std::wstring from = numbered(count);
        std::wstring to(count + 2, L'#');
        moveCharacters(&to[1], from.data(), count);
        EXPECT_EQ(L"#" + from + L"#", to) << count;
    }
}

// A run moved onto a range that overlaps it, forwards and backwards, arrives as it was.
TEST(CharacterMoveTest, OverlappingRunsArriveAsTheyWere) {
    for (std::size_t count = 0; count <= 40; ++count) {
        for (std::size_t shift = 1; shift <= 3; ++shift) {
            std::wstring forwards = numbered(count + shift);
            moveCharacters(&forwards[shift], forwards.data(), count);
            EXPECT_EQ(numbered(count), forwards.substr(shift)) << count << " " << shift;

            std::wstring backwards = numbered(count + shift);
            const std::wstring expected = backwards.substr(shift);
            moveCharacters(&backwards[0], backwards.data() + shift, count);
            EXPECT_EQ(expected, backwards.substr(0, count)) << count << " " << shift;
        }
    }
}

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
