// The maximum capacity of a byte buffer is read once per process, so each scenario runs in a
// fresh child process of its own.
#include <cstdlib>
#include <gtest/gtest.h>

#include "base/ByteBuffer.h"
#include "exception/KrelIllegalArgumentException.h"
#include "system/KrelSystem.h"

using krel_std::ByteBuffer;
using krel_std::KrelIllegalArgumentException;
using krel_std::KrelSystem;

namespace {

const wchar_t* const PROPERTY = L"ByteBuffer maximum capacity";

bool refuses(long capacity, const std::wstring& message) {
    try {
        ByteBuffer::allocate(capacity);
    } catch (const KrelIllegalArgumentException& e) {
        return e.getMessage() == message;
    }
    return false;
}

bool accepts(long capacity) {
    return ByteBuffer::allocate(capacity)->getCapacity() == capacity;
}

void exitWith(bool passed) {
    std::exit(passed ? 0 : 1);
}

class ByteBufferCapacity : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST_F(ByteBufferCapacity, PropertySetsTheMaximum) {
    EXPECT_EXIT(
        {
            KrelSystem::getInstance().setProperty(PROPERTY, L"16");
            exitWith(accepts(16) && accepts(0) &&
                     refuses(17, L"Capacity value 17 is outside minimum of 0 and maximum of 16."));
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ByteBufferCapacity, MaximumIsReadOnlyOnce) {
    EXPECT_EXIT(
        {
            KrelSystem::getInstance().setProperty(PROPERTY, L"8");
            const bool first = accepts(8);
            KrelSystem::getInstance().setProperty(PROPERTY, L"100");
            exitWith(first && refuses(9, L"Capacity value 9 is outside minimum of 0 and "
                                         L"maximum of 8."));
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ByteBufferCapacity, UnsetPropertyGivesTheDefault) {
    EXPECT_EXIT(exitWith(accepts(1000) &&
                         refuses(1000000001, L"Capacity value 1000000001 is outside minimum of "
                                             L"0 and maximum of 1000000000.")),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(ByteBufferCapacity, PropertyThatIsNotANumberGivesTheDefault) {
    EXPECT_EXIT(
        {
            KrelSystem::getInstance().setProperty(PROPERTY, L"lots");
            exitWith(refuses(1000000001, L"Capacity value 1000000001 is outside minimum of 0 "
                                         L"and maximum of 1000000000."));
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ByteBufferCapacity, NegativeCapacityIsRefused) {
    EXPECT_EXIT(exitWith(refuses(-1, L"Capacity value -1 is outside minimum of 0 and maximum of "
                                     L"1000000000.")),
                ::testing::ExitedWithCode(0), "");
}
