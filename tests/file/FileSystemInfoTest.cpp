#include "file/FileSystemInfo.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "DirectorySwapper.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "support/TempDirectory.h"

using krel_std::File;
using krel_std::FileSystemInfo;

namespace {

class FileSystemInfoTest : public TempDirectoryTest {};

} // namespace

TEST_F(FileSystemInfoTest, EmptyDirectoryUsesNothing) {
    const FileSystemInfo info{File(path())};
    EXPECT_EQ(info.getDiskUsage(), 0u);
    EXPECT_GT(info.getDiskSpace(), 0u);
    EXPECT_EQ(info.getDirectory().getPath(), path());
    EXPECT_EQ(info.toString(), L"FileSystemInfo{directory='" + path() + L"'}");
}

TEST_F(FileSystemInfoTest, UsageSumsFilesBelowButNotLinkedOnes) {
    std::filesystem::create_directories(native("measured/sub"));
    writeBytes("measured/ten", "0123456789");
    writeBytes("measured/sub/five", "01234");
    writeBytes("big", std::string(1000, 'b'));
    std::filesystem::create_symlink(native("big"), native("measured/link-to-file"));
    std::filesystem::create_directory_symlink(root, native("measured/sub/link-to-parent"));
    const FileSystemInfo info{File(path("measured"))};
    EXPECT_EQ(info.getDiskUsage(), 15u);
}

TEST_F(FileSystemInfoTest, DirectoryNamedThroughALinkIsMeasured) {
    std::filesystem::create_directories(native("target"));
    writeBytes("target/four", "0123");
    std::filesystem::create_directory_symlink(native("target"), native("link"));
    const FileSystemInfo info{File(path("link"))};
    EXPECT_EQ(info.getDiskUsage(), 4u);
}

TEST_F(FileSystemInfoTest, RefreshSeesNewFiles) {
    FileSystemInfo info{File(path())};
    writeBytes("later", "abc");
    EXPECT_EQ(info.getDiskUsage(), 0u);
    info.refresh();
    EXPECT_EQ(info.getDiskUsage(), 3u);
}

TEST_F(FileSystemInfoTest, RegularFileIsRefused) {
    writeBytes("plain", "x");
    try {
        FileSystemInfo info{File(path("plain"))};
        FAIL() << "no exception";
    } catch (const krel_std::KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(),
                  L"Specified path does not exist or is not a directory: " + path("plain"));
    }
}

TEST_F(FileSystemInfoTest, UsageCountsNamesThatAreNotUtf8OrHoldABackslash) {
    writeBytes("measured/bad\xff", "123");
    writeBytes("measured/back\\slash", "4567");
    writeBytes("measured/dir\xff/inner", "89");
    const FileSystemInfo info{File(path("measured"))};
    EXPECT_EQ(info.getDiskUsage(), 9u);
}

TEST_F(FileSystemInfoTest, UsageStaysInItsTreeWhileADirectoryIsSwappedForALink) {
    // Outside, a sparse file of the name of the one inside: a huge length that costs no space.
    const uint64_t huge = uint64_t(1) << 40;
    writeBytes("outside/small", "");
    std::filesystem::resize_file(native("outside/small"), huge);
    writeBytes("measured/sub/small", "12345");
    std::filesystem::create_directory_symlink(native("outside"), native("measured/swap"));
    DirectorySwapper swapper(native("measured/sub"), native("measured/swap"), 1000000);
    ASSERT_TRUE(swapper.waitForFirstSwap());
    FileSystemInfo info{File(path("measured"))};
    // A directory of the tree that moves during the walk may be counted twice, but nothing
    // outside is ever counted.
    for (int round = 0; round < 1000 && info.getDiskUsage() < huge; ++round) {
        info.refresh();
    }
    swapper.stop();
    EXPECT_LE(info.getDiskUsage(), 10u);
}
