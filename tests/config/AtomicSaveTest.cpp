// Saving replaces a configuration file in one atomic step, and the stand-in's MoveFileExW that
// makes this possible.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "ConfigTestSupport.h"
#include "config/ConfigurationFile.h"
#include "exception/KrelIOException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/WinBase.h"
#include "platform/WinMove.h"

using krel_std::ConfigurationFile;
using krel_std::File;
using krel_std::KrelIOException;
using krel_std::LockedFile;

namespace {

class AtomicSaveTest : public config_test::TempDirectoryTest {
protected:
    ConfigurationFile fileNamed(const std::string& name) const {
        return ConfigurationFile(File(path(name)));
    }
};

// Reads a file as an outside process would: without taking any lock.
bool tryRead(const std::filesystem::path& file, std::string& content) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

TEST_F(AtomicSaveTest, SaveNeverLeavesTheTargetMissingOrPartlyWritten) {
    const std::string small = "k=1\r\n";
    const std::string large = "k=" + std::string(4000, 'x') + "\r\n";
    writeBytes("app.cfg", small);
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.load();

    std::atomic<bool> done(false);
    std::atomic<int> observations(0);
    std::atomic<int> missing(0);
    std::atomic<int> torn(0);
    std::thread observer([&] {
        std::string content;
        while (!done) {
            if (!tryRead(root / "app.cfg", content)) {
                ++missing;
            } else if (content != small && content != large) {
                ++torn;
            }
            ++observations;
        }
    });
    while (observations == 0) {
        std::this_thread::yield();
    }
    for (int round = 0; round < 100; ++round) {
        configuration.setValue(L"k",
                               round % 2 == 0 ? std::wstring(4000, L'x') : std::wstring(L"1"));
        configuration.save();
    }
    done = true;
    observer.join();
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(torn, 0);
}

TEST_F(AtomicSaveTest, FailedSaveLeavesTheOldContentIntact) {
    writeBytes("app.cfg", "k=old\r\n");
    // A directory where the temporary file belongs makes the save fail before the swap.
    std::filesystem::create_directory(root / "app.cfg.tmp");
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    EXPECT_THROW(configuration.save(), KrelIOException);
    EXPECT_EQ(readBytes("app.cfg"), "k=old\r\n");

    std::filesystem::remove(root / "app.cfg.tmp");
    configuration.save();
    EXPECT_EQ(readBytes("app.cfg"), "k=new\r\n");
}

TEST_F(AtomicSaveTest, SaveRefusedByAHeldTemporaryFileLeavesThatFileToItsHolder) {
    writeBytes("app.cfg", "k=old\r\n");
    LockedFile holder;
    holder.open(File(path("app.cfg.tmp")), LockedFile::Overwrite);
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    EXPECT_THROW(configuration.save(), KrelIOException);
    holder.close();
    EXPECT_TRUE(std::filesystem::exists(root / "app.cfg.tmp"));
    EXPECT_EQ(readBytes("app.cfg"), "k=old\r\n");
}

using MoveFileExTest = config_test::TempDirectoryTest;

TEST_F(MoveFileExTest, ReplacesAnExistingFileWhenAsked) {
    writeBytes("from", "new");
    writeBytes("to", "old");
    ASSERT_TRUE(MoveFileExW(path("from").c_str(), path("to").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(readBytes("to"), "new");
    EXPECT_FALSE(std::filesystem::exists(root / "from"));
}

TEST_F(MoveFileExTest, RefusesAnExistingTargetOtherwise) {
    writeBytes("from", "new");
    writeBytes("to", "old");
    EXPECT_FALSE(MoveFileExW(path("from").c_str(), path("to").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(readBytes("from"), "new");
    EXPECT_EQ(readBytes("to"), "old");
}

TEST_F(MoveFileExTest, MovesToAFreeNameWithOrWithoutTheFlag) {
    writeBytes("a", "1");
    ASSERT_TRUE(MoveFileExW(path("a").c_str(), path("b").c_str(), 0));
    ASSERT_TRUE(MoveFileExW(path("b").c_str(), path("c").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(readBytes("c"), "1");
    EXPECT_FALSE(std::filesystem::exists(root / "a"));
    EXPECT_FALSE(std::filesystem::exists(root / "b"));
}

TEST_F(MoveFileExTest, NeverReplacesADirectory) {
    writeBytes("from", "x");
    std::filesystem::create_directory(root / "dir");
    EXPECT_FALSE(MoveFileExW(path("from").c_str(), path("dir").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(std::filesystem::is_directory(root / "dir"));
    EXPECT_EQ(readBytes("from"), "x");
}

TEST_F(MoveFileExTest, ReportsAMissingSourceAndBadArguments) {
    EXPECT_FALSE(MoveFileExW(path("none").c_str(), path("to").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    writeBytes("from", "x");
    EXPECT_FALSE(MoveFileExW(path("from").c_str(), path("to").c_str(), 0x2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(MoveFileExW(nullptr, path("to").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(readBytes("from"), "x");
}
