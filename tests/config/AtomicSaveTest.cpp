// Saving replaces a configuration file in one atomic step, through a temporary file of its own
// that nothing planted at a predictable name can redirect; and the stand-in's MoveFileExW.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <thread>

#include "ConfigTestSupport.h"
#include "config/ConfigurationFile.h"
#include "exception/KrelIOException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/WinBase.h"
#include "platform/WinMove.h"
#include "support/ChildWithLimit.h"
#include "support/OtherAccount.h"

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

    // The names in the temporary directory.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            names.insert(entry.path().filename().string());
        }
        return names;
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

TEST_F(AtomicSaveTest, SaveThatRunsOutOfSpaceLeavesTheOldContentIntact) {
    writeBytes("app.cfg", "k=old\r\n");
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", std::wstring(256 * 1024, L'n'));
    const int code = krel_test::runInChildWithLimit(RLIMIT_FSIZE, 64 * 1024, [&] {
        try {
            configuration.save();
        } catch (const KrelIOException&) {
            return 0;
        }
        return 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes("app.cfg"), "k=old\r\n");
    EXPECT_EQ(entries(), std::set<std::string>{"app.cfg"});

    configuration.setValue(L"k", L"new");
    configuration.save();
    EXPECT_EQ(readBytes("app.cfg"), "k=new\r\n");
}

TEST_F(AtomicSaveTest, HeldFileAtTheTemporaryNameIsNeverTouched) {
    writeBytes("app.cfg", "k=old\r\n");
    writeBytes("app.cfg.tmp", "mine");
    LockedFile holder;
    holder.open(File(path("app.cfg.tmp")), LockedFile::Append);
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    configuration.save();
    holder.close();
    EXPECT_EQ(readBytes("app.cfg.tmp"), "mine");
    EXPECT_EQ(readBytes("app.cfg"), "k=new\r\n");
}

TEST_F(AtomicSaveTest, SymbolicLinkPlantedAtTheTemporaryNameIsNeverFollowed) {
    writeBytes("app.cfg", "k=old\r\n");
    writeBytes("victim", "precious");
    std::filesystem::create_symlink(native("victim"), native("app.cfg.tmp"));
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    configuration.save();
    EXPECT_EQ(readBytes("victim"), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(native("app.cfg")));
    EXPECT_EQ(readBytes("app.cfg"), "k=new\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(native("app.cfg.tmp")));
}

TEST_F(AtomicSaveTest, HardLinkPlantedAtTheTemporaryNameIsNeverWritten) {
    writeBytes("app.cfg", "k=old\r\n");
    writeBytes("victim", "precious");
    std::filesystem::create_hard_link(native("victim"), native("app.cfg.tmp"));
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    configuration.save();
    EXPECT_EQ(readBytes("victim"), "precious");
    EXPECT_EQ(std::filesystem::hard_link_count(native("app.cfg")), 1u);
    EXPECT_EQ(readBytes("app.cfg"), "k=new\r\n");
}

TEST_F(AtomicSaveTest, SaveThroughASymbolicLinkWritesTheLinkedFileAndKeepsTheLink) {
    std::filesystem::create_directory(native("real"));
    writeBytes("real/app.cfg", "k=old\r\n");
    std::filesystem::create_symlink("real/app.cfg", native("app.cfg"));
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    configuration.save();
    EXPECT_TRUE(std::filesystem::is_symlink(native("app.cfg")));
    EXPECT_EQ(readBytes("real/app.cfg"), "k=new\r\n");
    EXPECT_EQ(entries(), (std::set<std::string>{"app.cfg", "real"}));
}

TEST_F(AtomicSaveTest, SaveRefusesALinkThatAnotherAccountPlantedInASharedFolder) {
    if (!krel_test::otherAccountUnavailable().empty()) {
        GTEST_SKIP() << krel_test::otherAccountUnavailable();
    }
    writeBytes("victim", "precious");
    std::filesystem::create_directory(native("shared"));
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    ASSERT_TRUE(krel_test::shareDirectory(native("shared")));
    ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), native("shared/app.cfg")));
    ConfigurationFile configuration = fileNamed("shared/app.cfg");
    configuration.setValue(L"k", L"stolen");
    try {
        configuration.save();
        ADD_FAILURE() << "saved through another account's link";
    } catch (const KrelIOException& error) {
        EXPECT_NE(error.getMessage().find(L": 5:"), std::wstring::npos) << error.getMessage();
    }
    EXPECT_EQ(readBytes("victim"), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(native("shared/app.cfg")));
}

TEST_F(AtomicSaveTest, SavedFileKeepsItsPermissionBits) {
    writeBytes("app.cfg", "k=old\r\n");
    ASSERT_EQ(chmod(native("app.cfg").c_str(), 0604), 0);
    ConfigurationFile configuration = fileNamed("app.cfg");
    configuration.setValue(L"k", L"new");
    configuration.save();
    struct stat status {};
    ASSERT_EQ(stat(native("app.cfg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0604u);
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
