#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "base/KrelStdUtils.h"
#include "support/DebugOutputCapture.h"
#include "support/TempDirectory.h"

namespace fs = std::filesystem;

namespace {

// The temporary directory's texts are ASCII, so they are valid ANSI path texts.
class OlderFileCopy : public TempDirectoryTest {
protected:
    std::string at(const std::string& name) const { return native(name).string(); }
};

} // namespace

TEST_F(OlderFileCopy, CopiesEveryByteOfALargeFile) {
    std::string bytes(5000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7);
    }
    writeBytes("source.bin", bytes);
    EXPECT_TRUE(KrelStd::FileCopy(at("source.bin").c_str(), at("target.bin").c_str()));
    EXPECT_EQ(readBytes("target.bin"), bytes);
}

TEST_F(OlderFileCopy, ReadErrorIsAFailureAndRemovesTheTarget) {
    // Reading a process's memory at offset 0 fails with an I/O error after a good open.
    EXPECT_FALSE(KrelStd::FileCopy("/proc/self/mem", at("target.bin").c_str()));
    EXPECT_FALSE(fs::exists(native("target.bin")));
}

TEST_F(OlderFileCopy, UnopenableSourceOrTargetIsAFailure) {
    writeBytes("source.txt", "text");
    EXPECT_FALSE(KrelStd::FileCopy(at("missing").c_str(), at("target").c_str()));
    EXPECT_FALSE(fs::exists(native("target")));
    EXPECT_FALSE(KrelStd::FileCopy(at("source.txt").c_str(), at("no/dir/target").c_str()));
}

TEST_F(OlderFileCopy, CopyOntoItselfKeepsTheContent) {
    writeBytes("same.bin", "content");
    const std::string windowsName = root.string() + "\\same.bin";
    EXPECT_TRUE(KrelStd::FileCopy(at("same.bin").c_str(), windowsName.c_str()));
    EXPECT_EQ(readBytes("same.bin"), "content");
}

TEST_F(OlderFileCopy, WindowsSeparatorsReachTheSameFiles) {
    writeBytes("dir/source.txt", "text");
    std::string windowsSource = at("dir/source.txt");
    for (char& c : windowsSource) {
        c = c == '/' ? '\\' : c;
    }
    EXPECT_TRUE(KrelStd::FileCopy(windowsSource.c_str(), at("dir/copy.txt").c_str()));
    EXPECT_EQ(readBytes("dir/copy.txt"), "text");
}

TEST_F(OlderFileCopy, FileExistFindsFilesDirectoriesAndPatterns) {
    writeBytes("dir/file.txt", "x");
    EXPECT_TRUE(KrelStd::FileExist(path("dir/file.txt")));
    EXPECT_TRUE(KrelStd::FileExist(path("dir")));
    EXPECT_TRUE(KrelStd::FileExist(path("dir/*.txt")));
    EXPECT_FALSE(KrelStd::FileExist(path("dir/*.ini")));
    EXPECT_FALSE(KrelStd::FileExist(path("missing")));
}

class OlderCopyOver : public OlderFileCopy {};

TEST_F(OlderCopyOver, MovesTheSourceOverAnExistingTarget) {
    writeBytes("new.cfg", "new");
    writeBytes("old.cfg", "old content");
    EXPECT_EQ(KrelStd::CopyOver(at("new.cfg").c_str(), at("old.cfg").c_str()), 0);
    EXPECT_EQ(readBytes("old.cfg"), "new");
    EXPECT_FALSE(fs::exists(native("new.cfg")));
}

// Before the static log is initialised its DEBUG traces reach the debugger output.
TEST_F(OlderCopyOver, DirectoryTargetDeletesTheSourceAndFails) {
    writeBytes("new.cfg", "new");
    fs::create_directory(native("target"));
    krel_test::DebugOutputCapture capture;
    EXPECT_EQ(KrelStd::CopyOver(at("new.cfg").c_str(), at("target").c_str()), 1);
    const std::wstring source = path("new.cfg");
    const std::wstring target = path("target");
    EXPECT_NE(capture.all().find(L"File [" + target +
                                 L"] is a directory or read-only, deleting file [" + source + L"]"),
              std::wstring::npos);
    EXPECT_NE(capture.all().find(L"Could not copy file [" + source + L"] to [" + target + L"]!"),
              std::wstring::npos);
    EXPECT_FALSE(fs::exists(native("new.cfg")));
    EXPECT_TRUE(fs::is_directory(native("target")));
}

TEST_F(OlderCopyOver, ReadOnlyTargetDeletesTheSourceAndKeepsTheTarget) {
    writeBytes("new.cfg", "new");
    writeBytes("old.cfg", "old");
    fs::permissions(native("old.cfg"), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(KrelStd::CopyOver(at("new.cfg").c_str(), at("old.cfg").c_str()), 1);
    EXPECT_FALSE(fs::exists(native("new.cfg")));
    EXPECT_EQ(readBytes("old.cfg"), "old");
}

TEST_F(OlderCopyOver, MissingSourceFailsAndKeepsTheTarget) {
    writeBytes("target", "kept");
    EXPECT_EQ(KrelStd::CopyOver(at("missing").c_str(), at("target").c_str()), 1);
    EXPECT_EQ(KrelStd::CopyOver(nullptr, at("target").c_str()), 1);
    EXPECT_EQ(readBytes("target"), "kept");
}

TEST_F(OlderCopyOver, FileMovedOntoItselfKeepsItsContent) {
    writeBytes("dir/same.cfg", "content");
    const std::string other = root.string() + "/dir/../dir/same.cfg";
    EXPECT_EQ(KrelStd::CopyOver(at("dir/same.cfg").c_str(), other.c_str()), 0);
    EXPECT_EQ(readBytes("dir/same.cfg"), "content");
}

// A source on another file system cannot be renamed over the target: it is copied and then
// emptied.
class OlderCopyOverAcrossVolumes : public OlderCopyOver {
protected:
    void SetUp() override {
        OlderCopyOver::SetUp();
        struct stat shm {};
        struct stat temp {};
        if (stat("/dev/shm", &shm) != 0 || stat(root.c_str(), &temp) != 0 ||
            shm.st_dev == temp.st_dev) {
            GTEST_SKIP() << "no second file system for the source";
        }
        source = "/dev/shm/krel-copyover-" + root.filename().string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove(source, ignored);
        OlderCopyOver::TearDown();
    }

    void writeSource(const std::string& bytes) const {
        std::ofstream out(source, std::ios::binary);
        out << bytes;
    }

    std::string source;
};

TEST_F(OlderCopyOverAcrossVolumes, CopiesAndEmptiesTheSource) {
    writeSource(std::string(1500, 'c'));
    writeBytes("old.cfg", "old");
    EXPECT_EQ(KrelStd::CopyOver(source.c_str(), at("old.cfg").c_str()), 0);
    EXPECT_EQ(readBytes("old.cfg"), std::string(1500, 'c'));
    EXPECT_EQ(fs::file_size(source), 0u);
}

TEST_F(OlderCopyOverAcrossVolumes, EmptySourceLeavesAnEmptyTarget) {
    writeSource("");
    writeBytes("old.cfg", "old");
    EXPECT_EQ(KrelStd::CopyOver(source.c_str(), at("old.cfg").c_str()), 0);
    EXPECT_EQ(readBytes("old.cfg"), "");
}
