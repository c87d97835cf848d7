#include "base/ByteArray.h"

#include <cstdint>
#include <gtest/gtest.h>

#include "base/MemoryBuffer.h"
#include "exception/KrelIllegalArgumentException.h"

using krel_std::ByteArray;
using krel_std::KrelIllegalArgumentException;

TEST(ByteArray, EncodesTextByCharset) {
    EXPECT_EQ(ByteArray(L"\u00E9", L"UTF-8").toString(), "\xC3\xA9");
    EXPECT_EQ(ByteArray(L"\u00E9\u20AC", L"windows-1252").toString(), "\xE9\x80");
    EXPECT_EQ(ByteArray(L"\u00E9", L"ISO-10646-UCS-2").toString(), std::string("\xE9\x00", 2));
    EXPECT_EQ(ByteArray(L"\u00E9", L"").toString(), std::string("\xE9\x00", 2));
    EXPECT_EQ(ByteArray(L"\U0001F600", L"ISO-10646-UCS-2").toString(),
              std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(ByteArray(L"", L"UTF-8").getLength(), 0);
}

TEST(ByteArray, DecodesBytesByCharset) {
    EXPECT_EQ(ByteArray(std::string("A\0B", 3)).toWString(L"ISO-10646-UCS-2"), L"A");
    EXPECT_EQ(ByteArray(std::string("\x3D\xD8\x00\xDE", 4)).toWString(L"x"), L"\U0001F600");
    EXPECT_EQ(ByteArray(std::string("\xC3\xA9")).toWString(L"UTF-8"), L"\u00E9");
    EXPECT_EQ(ByteArray(std::string("\xC3")).toWString(L"UTF-8"), L"");
    EXPECT_EQ(ByteArray(std::string("a\x80\0b", 4)).toWString(L"windows-1252"), L"a\u20AC");
    EXPECT_EQ(ByteArray().toWString(L"UTF-8"), L"");
}

TEST(ByteArray, KeepsZeroBytes) {
    const ByteArray bytes("a\0b", 3);
    EXPECT_EQ(bytes.getLength(), 3);
    EXPECT_EQ(bytes.toString(), std::string("a\0b", 3));
}

TEST(ByteArray, SizedConstructorZeroFills) {
    ByteArray bytes(4L);
    EXPECT_EQ(bytes.toString(), std::string(4, '\0'));
}

TEST(ByteArray, RefusesNegativeLengthAndNullBytes) {
    EXPECT_THROW(ByteArray(-1L), KrelIllegalArgumentException);
    EXPECT_THROW(ByteArray(nullptr, 2), KrelIllegalArgumentException);
    EXPECT_THROW(ByteArray("ab", -1), KrelIllegalArgumentException);
}

TEST(ByteArray, NegativeLengthIsReportedBelowTheMinimum) {
    for (const auto& make : {+[] { ByteArray bytes(-1L); }, +[] { ByteArray bytes("ab", -1); }}) {
        try {
            make();
            ADD_FAILURE() << "nothing thrown";
        } catch (const KrelIllegalArgumentException& e) {
            EXPECT_EQ(e.getMessage(), L"ByteArray length value -1 is below minimum of 0.");
        }
    }
}

TEST(ByteArray, LengthBeyondThirtyTwoBitsIsOutsideTheRange) {
    try {
        ByteArray bytes(static_cast<long>(INT32_MAX) + 1);
        ADD_FAILURE() << "nothing thrown";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(),
                  L"ByteArray length value 2147483648 is outside minimum of 0 and maximum of "
                  L"2147483647.");
    }
}

TEST(ByteArray, CopiesOwnTheirBytes) {
    ByteArray original(std::string("abc"));
    ByteArray copy(original);
    ByteArray assigned;
    assigned = original;
    original[0] = 'x';
    EXPECT_EQ(copy.toString(), "abc");
    EXPECT_EQ(assigned.toString(), "abc");
    const ByteArray& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.toString(), "abc");
}

TEST(ByteArray, GetArraySharesTheStorage) {
    ByteArray bytes(std::string("abc"));
    bytes.getArray()[1] = 'X';
    EXPECT_EQ(bytes.toString(), "aXc");
}

TEST(ByteArray, IndexOutsideReadsZeroAndIgnoresWrites) {
    ByteArray bytes(std::string("abc"));
    EXPECT_EQ(bytes[2], 'c');
    EXPECT_EQ(bytes[3], 0);
    bytes[3] = 'z';
    bytes[-1] = 'z';
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes.toString(), "abc");
}

TEST(ByteArray, ComparesLengthAndBytes) {
    EXPECT_EQ(ByteArray(std::string("ab")), ByteArray(std::string("ab")));
    EXPECT_FALSE(ByteArray(std::string("ab")) == ByteArray(std::string("abc")));
    EXPECT_FALSE(ByteArray(std::string("ab")) == ByteArray(std::string("ac")));
    EXPECT_EQ(ByteArray(), ByteArray(0L));
}

TEST(ByteArray, ClearEmptiesTheArray) {
    ByteArray bytes(std::string("abc"));
    bytes.clear();
    EXPECT_EQ(bytes.getLength(), 0);
    EXPECT_EQ(bytes.toString(), "");
}

TEST(MemoryBuffer, ResizeMakesANewArrayOnlyForANewSize) {
    KrelStd::MemoryBuffer<wchar_t> buffer(4);
    EXPECT_EQ(buffer.size(), 4u);
    wchar_t* first = buffer;
    buffer.resize(4);
    EXPECT_EQ(static_cast<wchar_t*>(buffer), first);
    buffer.resize(0);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(static_cast<wchar_t*>(buffer), nullptr);
    buffer.resize(8);
    static_cast<wchar_t*>(buffer)[7] = L'x';
    EXPECT_EQ(buffer.size(), 8u);
}
