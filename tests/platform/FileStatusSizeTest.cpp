// The status of an open file with a 32-bit size field.
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/WinCrtFile.h"
#include "support/TempDirectory.h"

namespace {

class OpenFileTest : public TempDirectoryTest {
protected:
    ~OpenFileTest() override {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }

    // Opens the file of that name for writing, creating it.
    void openFile(const std::string& name) {
        descriptor = open(native(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(descriptor, 0);
    }

    int descriptor = -1;
};

} // namespace

TEST_F(OpenFileTest, SizeBeyondThirtyTwoBitsIsGivenAsTheLargestSize) {
    openFile("huge.bin");
    // Sparse: 4 GiB and 100 bytes, whose low 32 bits alone would read as 100.
    ASSERT_EQ(0, ftruncate(descriptor, (off_t{1} << 32) + 100));
    struct _stat64i32 status {};
    ASSERT_EQ(0, _fstat64i32(descriptor, &status));
    EXPECT_EQ(INT32_MAX, status.st_size);
}

TEST_F(OpenFileTest, SizeWithinThirtyTwoBitsIsGivenAsItIs) {
    openFile("small.bin");
    ASSERT_EQ(0, ftruncate(descriptor, 12345));
    struct _stat64i32 status {};
    ASSERT_EQ(0, _fstat64i32(descriptor, &status));
    EXPECT_EQ(12345, status.st_size);
}
