#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "DirectorySwapper.h"
#include "file/DirectoryFilter.h"
#include "file/File.h"
#include "file/WildcardFileFilter.h"
#include "support/TempDirectory.h"

using krel_std::DirectoryFilter;
using krel_std::File;

namespace {

class FileSystemTest : public TempDirectoryTest {
protected:
    File file(const std::string& name = std::string()) const { return File(path(name)); }

    size_t countEntries(const std::string& directory) const {
        return static_cast<size_t>(
            std::distance(std::filesystem::directory_iterator(native(directory)),
                          std::filesystem::directory_iterator()));
    }

    static std::vector<std::wstring> sorted(std::vector<std::wstring> names) {
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(FileSystemTest, QueriesDescribeAnExistingFile) {
    writeBytes("data.bin", "0123456789");
    const File data = file("data.bin");
    EXPECT_TRUE(data.exists());
    EXPECT_TRUE(data.isFile());
    EXPECT_FALSE(data.isDirectory());
    EXPECT_FALSE(data.isHidden());
    EXPECT_TRUE(data.canRead());
    EXPECT_TRUE(data.canWrite());
    EXPECT_EQ(data.getLength(), 10u);
    EXPECT_GT(data.getLastModificationTime(), 0u);
    EXPECT_EQ(data.getLastModificationTime() % 1000, 0u);
    EXPECT_GT(data.getCreationTime(), 0u);
}

TEST_F(FileSystemTest, QueriesOfAMissingPathAnswerFalseOrZero) {
    const File missing = file("missing");
    EXPECT_FALSE(missing.exists());
    EXPECT_FALSE(missing.isFile());
    EXPECT_FALSE(missing.isDirectory());
    EXPECT_FALSE(missing.canRead());
    EXPECT_EQ(missing.getLength(), 0u);
    EXPECT_EQ(missing.getCreationTime(), 0u);
    EXPECT_EQ(missing.getLastModificationTime(), 0u);
}

TEST_F(FileSystemTest, DotFilesAreHidden) {
    writeBytes(".settings", "");
    EXPECT_TRUE(file(".settings").isHidden());
}

TEST_F(FileSystemTest, ListingGivesEntryNamesWithoutDots) {
    EXPECT_TRUE(file().list().empty());
    EXPECT_TRUE(file("missing").list().empty());
    writeBytes("a.txt", "");
    std::filesystem::create_directory(native("sub"));
    EXPECT_EQ(sorted(file().list()), (std::vector<std::wstring>{L"a.txt", L"sub"}));
}

TEST_F(FileSystemTest, ListingKeepsNamesTheCallerCouldNotWriteButSkipsBackslashes) {
    writeBytes("what?.txt", "");
    writeBytes("trailing.", "");
    writeBytes("back\\slash", "");
    EXPECT_EQ(sorted(file().list()), (std::vector<std::wstring>{L"trailing.", L"what?.txt"}));
    const std::vector<File> children = file().listFiles();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_TRUE(children[0].exists());
    EXPECT_TRUE(children[1].exists());
}

TEST_F(FileSystemTest, ListFilesAppliesTheFilter) {
    writeBytes("a.txt", "");
    writeBytes("b.log", "");
    std::filesystem::create_directory(native("sub"));
    const std::vector<File> directories = file().listFiles(DirectoryFilter());
    ASSERT_EQ(directories.size(), 1u);
    EXPECT_EQ(directories[0].getPath(), path("sub"));
    const std::vector<File> logs = file().listFiles(krel_std::WildcardFileFilter(L"*.LOG"));
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].getName(), L"b.log");
}

TEST_F(FileSystemTest, MkdirCreatesOneLevelAndRefusesExistingPaths) {
    EXPECT_TRUE(file("one").mkdir());
    EXPECT_TRUE(file("one").isDirectory());
    EXPECT_FALSE(file("one").mkdir());
    EXPECT_FALSE(file("x/y").mkdir());
}

TEST_F(FileSystemTest, MkdirsCreatesTheWholeChain) {
    EXPECT_TRUE(file("a/b/../b/c").mkdirs());
    EXPECT_TRUE(file("a/b/c").isDirectory());
    EXPECT_FALSE(file("a/b").mkdirs());
}

TEST_F(FileSystemTest, MkdirsFailsBelowARegularFile) {
    writeBytes("plain", "");
    EXPECT_FALSE(file("plain/sub/dir").mkdirs());
}

TEST_F(FileSystemTest, RenameMovesButNeverReplaces) {
    writeBytes("from", "1");
    writeBytes("taken", "2");
    EXPECT_FALSE(file("from").renameTo(file("taken")));
    EXPECT_EQ(readBytes("taken"), "2");
    EXPECT_TRUE(file("from").renameTo(file("to")));
    EXPECT_FALSE(file("from").exists());
    EXPECT_EQ(readBytes("to"), "1");
}

TEST_F(FileSystemTest, TouchCreatesAnEmptyFileOrRenewsTheTime) {
    EXPECT_TRUE(file("new").touch());
    EXPECT_TRUE(file("new").isFile());
    EXPECT_EQ(file("new").getLength(), 0u);

    writeBytes("old", "content");
    const utimbuf past{1000000000, 1000000000};
    ASSERT_EQ(utime(native("old").c_str(), &past), 0);
    EXPECT_TRUE(file("old").touch());
    EXPECT_GT(file("old").getLastModificationTime(), 1000000000000u);
    EXPECT_EQ(readBytes("old"), "content");

    EXPECT_FALSE(file().touch());
}

TEST_F(FileSystemTest, RemoveTakesFilesAndEmptyDirectoriesOnly) {
    writeBytes("f", "");
    std::filesystem::create_directories(native("full/inner"));
    EXPECT_TRUE(file("f").remove());
    EXPECT_FALSE(file("f").exists());
    EXPECT_FALSE(file("f").remove());
    EXPECT_FALSE(file("full").remove());
    EXPECT_TRUE(file("full/inner").remove());
}

TEST_F(FileSystemTest, RmdirsRemovesATreeButNotWhatItsLinksPointTo) {
    std::filesystem::create_directories(native("outside/keep"));
    writeBytes("outside/keep/precious", "data");
    std::filesystem::create_directories(native("tree/a/b"));
    writeBytes("tree/a/b/file", "x");
    std::filesystem::create_directory_symlink(native("outside/keep"), native("tree/a/dirlink"));
    std::filesystem::create_symlink(native("outside/keep/precious"), native("tree/filelink"));
    std::filesystem::create_symlink(native("nowhere"), native("tree/dangling"));

    EXPECT_TRUE(file("tree").rmdirs());
    EXPECT_FALSE(std::filesystem::exists(native("tree")));
    EXPECT_EQ(readBytes("outside/keep/precious"), "data");
    EXPECT_FALSE(file("tree").rmdirs());
}

TEST_F(FileSystemTest, RmdirsOfALinkRemovesOnlyTheLink) {
    std::filesystem::create_directories(native("target"));
    writeBytes("target/inside", "");
    std::filesystem::create_directory_symlink(native("target"), native("link"));
    EXPECT_TRUE(file("link").rmdirs());
    EXPECT_FALSE(std::filesystem::is_symlink(native("link")));
    EXPECT_TRUE(std::filesystem::exists(native("target/inside")));
}

TEST_F(FileSystemTest, RmdirsStaysInItsTreeWhileADirectoryIsSwappedForALink) {
    // The files outside have the names of those inside, so that a walk led outside finds
    // something to remove at every step.
    const int files = 200;
    for (int i = 0; i < files; ++i) {
        writeBytes("outside/file" + std::to_string(i), "precious");
    }
    for (int trial = 0; trial < 5; ++trial) {
        const std::string tree = "tree" + std::to_string(trial);
        for (int i = 0; i < files; ++i) {
            writeBytes(tree + "/sub/file" + std::to_string(i), "x");
        }
        std::filesystem::create_directory_symlink(native("outside"), native(tree + "/swap"));
        DirectorySwapper swapper(native(tree + "/sub"), native(tree + "/swap"), 1000000);
        ASSERT_TRUE(swapper.waitForFirstSwap());
        file(tree).rmdirs();
        swapper.stop();
        ASSERT_EQ(countEntries("outside"), static_cast<size_t>(files)) << "trial " << trial;
    }
}

TEST_F(FileSystemTest, RmdirsRemovesNamesThatAreNotUtf8OrHoldABackslash) {
    writeBytes("tree/bad\xff\xfe", "x");
    writeBytes("tree/back\\slash", "x");
    writeBytes("tree/dir\xff/inner", "x");
    writeBytes("tree/dir\\sub/inner", "x");
    EXPECT_TRUE(file("tree").rmdirs());
    EXPECT_FALSE(std::filesystem::exists(native("tree")));
}
