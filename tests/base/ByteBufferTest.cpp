#include "base/ByteBuffer.h"

#include <climits>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/ByteArray.h"
#include "exception/KrelBufferOverflowException.h"
#include "exception/KrelBufferUnderflowException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "support/MessageOf.h"

using namespace krel_std;
using krel_test::messageOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class ByteBufferTest : public ::testing::Test {
protected:
    boost::shared_ptr<ByteBuffer> buffer = ByteBuffer::allocate(16);

    std::string stored(long count) { return std::string(buffer->array(), count); }
};

} // namespace

TEST_F(ByteBufferTest, NewBufferIsZeroFilledBigEndianAndWhollyWritable) {
    EXPECT_EQ(buffer->getOrder(), ENDIAN_BIG);
    EXPECT_EQ(buffer->getLimit(), 16);
    EXPECT_EQ(stored(16), std::string(16, '\0'));
    EXPECT_EQ(ByteBuffer::allocate(4)->toString(),
              L"ByteBuffer{Buffer{capacity=4,limit=4,pos=0,mark=-1},order=0}");
}

TEST_F(ByteBufferTest, TypedValuesFollowTheByteOrder) {
    buffer->putShort(0x1234);
    buffer->putInt(0x01020304u);
    buffer->putLongLong(0x1122334455667788ull);
    EXPECT_EQ(stored(14), "\x12\x34\x01\x02\x03\x04\x11\x22\x33\x44\x55\x66\x77\x88");
    buffer->clear();
    buffer->setOrder(ENDIAN_LITTLE);
    buffer->putShort(0x1234);
    buffer->putInt(0x01020304u);
    EXPECT_EQ(stored(6), "\x34\x12\x04\x03\x02\x01");
}

TEST_F(ByteBufferTest, ReadsBackWhatItWroteInEitherOrder) {
    for (Endian order : {ENDIAN_BIG, ENDIAN_LITTLE}) {
        buffer->clear();
        buffer->setOrder(order);
        buffer->put('x');
        buffer->putShort(0xBEEF);
        buffer->putInt(0xDEADBEEFu);
        buffer->putLongLong(0x0123456789ABCDEFull);
        buffer->flip();
        EXPECT_EQ(buffer->get(), 'x');
        EXPECT_EQ(buffer->getShort(), 0xBEEF);
        EXPECT_EQ(buffer->getInt(), 0xDEADBEEFu);
        EXPECT_EQ(buffer->getLongLong(), 0x0123456789ABCDEFull);
        EXPECT_FALSE(buffer->hasRemaining());
        EXPECT_EQ(buffer->getInt(1 + 2), 0xDEADBEEFu);
    }
}

TEST_F(ByteBufferTest, RelativeAccessPastTheLimitThrowsAndDoesNotMove) {
    buffer->setLimit(1);
    EXPECT_THAT(messageOf<KrelBufferUnderflowException>([&] { buffer->getShort(); }),
                StartsWith(L"Remaining data length is below 2: "));
    EXPECT_THAT(messageOf<KrelBufferOverflowException>([&] { buffer->putInt(1); }),
                StartsWith(L"Insufficient space in buffer to add input: "));
    EXPECT_EQ(buffer->getPosition(), 0);
    buffer->put('a');
    EXPECT_THAT(messageOf<KrelBufferOverflowException>([&] { buffer->put('b'); }),
                StartsWith(L"Buffer has reached limit: "));
    EXPECT_THAT(messageOf<KrelBufferUnderflowException>([&] { buffer->get(); }),
                StartsWith(L"Position is above limit: "));
    EXPECT_EQ(buffer->getPosition(), 1);
}

TEST_F(ByteBufferTest, UnderflowCarriesTheFailedCheckAsCause) {
    boost::shared_ptr<ByteBuffer> empty = ByteBuffer::allocate(0);
    try {
        empty->get();
        FAIL();
    } catch (const KrelBufferUnderflowException& e) {
        std::unique_ptr<KrelException> cause(e.getNestedException());
        ASSERT_TRUE(cause);
        EXPECT_EQ(cause->getClassName(), L"com.vandrel.exception.KrelIllegalArgumentException");
    }
}

TEST_F(ByteBufferTest, AbsoluteIndexMustLeaveRoomForTheWidth) {
    buffer->setLimit(4);
    EXPECT_NO_THROW(buffer->getInt(0));
    EXPECT_NO_THROW(buffer->get(3));
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>([&] { buffer->getInt(1); }),
              L"Index value 1 is outside minimum of 0 and maximum of 0.");
    EXPECT_THROW(buffer->get(4), KrelIllegalArgumentException);
    EXPECT_THROW(buffer->put(-1, 'a'), KrelIllegalArgumentException);
    EXPECT_THROW(buffer->getLongLong(0), KrelIllegalArgumentException);
    buffer->putShort(2, 0xABCD);
    EXPECT_EQ(buffer->getPosition(), 0);
    EXPECT_EQ(buffer->getShort(2), 0xABCD);
}

TEST_F(ByteBufferTest, LimitAndPositionKeepMarkConsistent) {
    buffer->setPosition(3);
    buffer->setMark();
    buffer->setLimit(2);
    EXPECT_EQ(buffer->getPosition(), 2);
    buffer->reset();
    EXPECT_EQ(buffer->getPosition(), 2);
    buffer->setLimit(10);
    buffer->setPosition(5);
    buffer->setMark();
    buffer->setPosition(8);
    buffer->reset();
    EXPECT_EQ(buffer->getPosition(), 5);
    EXPECT_THROW(buffer->setLimit(17), KrelIllegalArgumentException);
    EXPECT_THROW(buffer->setPosition(11), KrelIllegalArgumentException);
}

TEST_F(ByteBufferTest, FlipAndRewindPrepareForReading) {
    buffer->put('a');
    buffer->put('b');
    buffer->flip();
    EXPECT_EQ(buffer->getLimit(), 2);
    EXPECT_EQ(buffer->get(), 'a');
    buffer->rewind();
    EXPECT_EQ(buffer->get(), 'a');
    EXPECT_EQ(buffer->remaining(), 1);
}

TEST_F(ByteBufferTest, RefusesAnUnknownOrder) {
    EXPECT_EQ(
        messageOf<KrelIllegalArgumentException>([&] { buffer->setOrder(static_cast<Endian>(7)); }),
        L"Order value 7 is invalid.");
    EXPECT_EQ(buffer->getOrder(), ENDIAN_BIG);
}

TEST_F(ByteBufferTest, BulkTransfersHonourOffsetAndLength) {
    buffer->put("xxabcd", 6, 2, 3);
    buffer->flip();
    char target[5] = {'-', '-', '-', '-', '-'};
    buffer->get(target, 5, 1, 3);
    EXPECT_EQ(std::string(target, 5), "-abc-");
    EXPECT_THROW(buffer->get(target, 5, 4, 2), KrelIllegalArgumentException);
    EXPECT_THROW(buffer->get(static_cast<char*>(nullptr), 1), KrelIllegalArgumentException);
    buffer->rewind();
    EXPECT_THAT(messageOf<KrelBufferUnderflowException>([&] { buffer->get(target, 4); }),
                StartsWith(L"Remaining data length is below desired length: "));
    EXPECT_EQ(buffer->getPosition(), 0);
}

TEST_F(ByteBufferTest, WideBulkUsesTwoBytesPerCharacter) {
    const wchar_t text[] = {L'A', 0x20AC, 0x1F600};
    buffer->put(text, 3);
    EXPECT_EQ(stored(6), std::string("\x00\x41\x20\xAC\xFF\xFD", 6));
    buffer->flip();
    wchar_t back[3] = {};
    buffer->get(back, 3);
    EXPECT_EQ(std::wstring(back, 3), L"A\u20AC\uFFFD");
    EXPECT_THROW(buffer->put(text, 3, 0, 3), KrelBufferOverflowException);
}

TEST_F(ByteBufferTest, WideBulkFitsOnlyWholeCharactersInAnOddRemainder) {
    const wchar_t text[] = {L'a', L'b', L'c'};
    buffer->setLimit(5);
    EXPECT_THROW(buffer->put(text, 3), KrelBufferOverflowException);
    buffer->put(text, 2);
    EXPECT_THROW(buffer->put(text, 1), KrelBufferOverflowException);
    buffer->flip();
    buffer->setLimit(3);
    wchar_t back[2] = {};
    EXPECT_THROW(buffer->get(back, 2), KrelBufferUnderflowException);
    buffer->get(back, 1);
    EXPECT_EQ(back[0], L'a');
}

// A count whose byte size does not fit in a long must be refused, not wrapped into a small or
// negative size that passes the check.
TEST_F(ByteBufferTest, WideBulkCountTooLargeToDoubleIsRefused) {
    const long huge = LONG_MAX / 2 + 1;
    const wchar_t text[1] = {L'a'};
    EXPECT_THAT(
        messageOf<KrelBufferOverflowException>([&] { buffer->put(text, LONG_MAX, 0, huge); }),
        HasSubstr(L"Remaining data length value 16 is below minimum of 9223372036854775808."));
    wchar_t back[1] = {};
    EXPECT_THAT(
        messageOf<KrelBufferUnderflowException>([&] { buffer->get(back, LONG_MAX, 0, huge); }),
        StartsWith(L"Remaining data length is below desired length: "));
    EXPECT_EQ(buffer->getPosition(), 0);
}

TEST_F(ByteBufferTest, GetByteArrayTakesTheNextBytes) {
    buffer->put("hello", 5);
    buffer->flip();
    EXPECT_EQ(buffer->getByteArray(2)->toString(), "he");
    EXPECT_EQ(buffer->getPosition(), 2);
    EXPECT_THROW(buffer->getByteArray(-1), KrelIllegalArgumentException);
    EXPECT_THROW(buffer->getByteArray(4), KrelBufferUnderflowException);
}

TEST_F(ByteBufferTest, PutsAnotherBufferAsItIs) {
    boost::shared_ptr<ByteBuffer> source = ByteBuffer::allocate(4);
    source->setOrder(ENDIAN_LITTLE);
    source->putInt(0x01020304u);
    source->flip();
    source->get();
    buffer->put(*source);
    EXPECT_EQ(stored(3), "\x03\x02\x01");
    EXPECT_EQ(buffer->getPosition(), 3);
    EXPECT_FALSE(source->hasRemaining());
    EXPECT_EQ(messageOf<KrelIllegalArgumentException>([&] { buffer->put(*buffer); }),
              L"Attempting to put to same buffer as source.");
    source->rewind();
    buffer->setLimit(4);
    EXPECT_THAT(messageOf<KrelBufferOverflowException>([&] { buffer->put(*source); }),
                StartsWith(L"Remaining data length is below input buffer size: "));
}

TEST(Endian, SwapsByteOrder) {
    EXPECT_EQ(getSystemEndianType(), ENDIAN_LITTLE);
    EXPECT_EQ(byteSwap16(0x1234), 0x3412);
    EXPECT_EQ(byteSwap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(byteSwap64(0x0102030405060708ull), 0x0807060504030201ull);
}
