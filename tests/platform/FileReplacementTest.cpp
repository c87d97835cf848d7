// Replacing a file: temporaries that killed savers left beside the target go once they are old,
// nothing else near the target does; links that another account may have planted are not
// followed by a writer; and the update lock of a read-modify-write keeps other processes out
// until it is released, and other accounts out that may not write the file.
#include "platform/FileReplacement.h"

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/WinBase.h"
#include "platform/WinCrtFile.h"
#include "platform/WinFile.h"
#include "platform/WinHandles.h"
#include "support/OtherAccount.h"
#include "support/TempDirectory.h"

using krel_platform::FileReplacement;
using krel_platform::FileUpdateLock;
using krel_test::otherAccountUnavailable;
using krel_test::runAsNobody;

namespace {

const char TARGET[] = "app.cfg";
const long HOUR = 60 * 60;

class FileReplacementTest : public TempDirectoryTest {
protected:
    // Replaces the target's content in one begin, write and commit.
    bool replace(const std::string& name, const std::string& content) {
        FileReplacement replacement;
        return replacement.begin(path(name), FileReplacement::Unlocked) &&
               replacement.write(content.data(), content.size()) && replacement.commit();
    }

    // Sets the entry's last change (of a link itself, not of what it names) that many seconds
    // into the past.
    void age(const std::string& name, long seconds) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const timespec past[2] = {{now.tv_sec - seconds, 0}, {now.tv_sec - seconds, 0}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, native(name).c_str(), past, AT_SYMLINK_NOFOLLOW));
    }

    // A file left at the name as a killed saver would leave it, last changed that long ago.
    void leaveTemporary(const std::string& name, long secondsAgo) {
        writeBytes(name, "half written");
        age(name, secondsAgo);
    }

    // The names in the directory that begin with the prefix.
    std::vector<std::string> entriesStartingWith(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            const std::string name = entry.path().filename().string();
            if (name.compare(0, prefix.size(), prefix) == 0) {
                names.push_back(name);
            }
        }
        return names;
    }
};

} // namespace

TEST_F(FileReplacementTest, AnOldTemporaryOfTheTargetIsRemovedByTheNextReplacement) {
    const std::string stale = ".app.cfg.0123456789abcdef.tmp";
    leaveTemporary(stale, HOUR);
    ASSERT_TRUE(replace(TARGET, "new"));
    EXPECT_FALSE(std::filesystem::exists(native(stale)));
    EXPECT_EQ("new", readBytes(TARGET));
}

TEST_F(FileReplacementTest, AYoungTemporaryIsKept) {
    const std::string young = ".app.cfg.0123456789abcdef.tmp";
    leaveTemporary(young, 10);
    ASSERT_TRUE(replace(TARGET, "new"));
    EXPECT_TRUE(std::filesystem::exists(native(young)));
}

TEST_F(FileReplacementTest, ASaverWritingMeanwhileKeepsItsTemporaryAndCommits) {
    FileReplacement live;
    ASSERT_TRUE(live.begin(path(TARGET), FileReplacement::Unlocked));
    ASSERT_TRUE(live.write("live", 4));
    ASSERT_TRUE(replace(TARGET, "other"));
    EXPECT_TRUE(live.commit());
    EXPECT_EQ("live", readBytes(TARGET));
}

TEST_F(FileReplacementTest, ATemporaryNameIsLongerThanItsTargetsByThePublishedBytes) {
    FileReplacement live;
    ASSERT_TRUE(live.begin(path(TARGET), FileReplacement::Unlocked));
    const std::vector<std::string> temporaries = entriesStartingWith(std::string(".") + TARGET);
    ASSERT_EQ(1u, temporaries.size());
    EXPECT_EQ(sizeof(TARGET) - 1 + krel_platform::TEMPORARY_NAME_EXTRA_BYTES,
              temporaries.front().size());
}

TEST_F(FileReplacementTest, ATemporaryOfASaverKilledMidWayGoesOnceOld) {
    const pid_t saver = fork();
    ASSERT_NE(-1, saver);
    if (saver == 0) {
        FileReplacement replacement;
        replacement.begin(path(TARGET), FileReplacement::Exclusive);
        replacement.write("half", 4);
        raise(SIGKILL);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(saver, waitpid(saver, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::vector<std::string> left = entriesStartingWith(".app.cfg.");
    ASSERT_EQ(1u, left.size());
    age(left[0], HOUR);
    ASSERT_TRUE(replace(TARGET, "new"));
    EXPECT_TRUE(entriesStartingWith(".app.cfg.").empty());
}

TEST_F(FileReplacementTest, OldFilesOutsideTheTargetsTemporaryPatternAreKept) {
    const std::vector<std::string> others = {
        ".app.cfg.0123456789ABCDEF.tmp",     // upper-case digits
        ".app.cfg.0123456789abcde.tmp",      // 15 digits
        ".app.cfg.0123456789abcdef0.tmp",    // 17 digits
        ".app.cfg.0123456789abcdeg.tmp",     // not hexadecimal
        ".app.cfg.0123456789abcdef.tmp.bak", // more after the pattern
        "app.cfg.0123456789abcdef.tmp",      // not hidden
        ".other.cfg.0123456789abcdef.tmp",   // another target's
        ".app.0123456789abcdef.tmp",         // a target whose name is a prefix
    };
    for (const std::string& name : others) {
        leaveTemporary(name, HOUR);
    }
    ASSERT_TRUE(replace(TARGET, "new"));
    for (const std::string& name : others) {
        EXPECT_TRUE(std::filesystem::exists(native(name))) << name;
    }
}

TEST_F(FileReplacementTest, OldEntriesOfThePatternThatAreNoRegularFilesAreKept) {
    const std::string directory = ".app.cfg.0123456789abcdef.tmp";
    const std::string link = ".app.cfg.fedcba9876543210.tmp";
    std::filesystem::create_directory(native(directory));
    writeBytes("victim", "keep");
    std::filesystem::create_symlink(native("victim"), native(link));
    age(directory, HOUR);
    age(link, HOUR);
    ASSERT_TRUE(replace(TARGET, "new"));
    EXPECT_TRUE(std::filesystem::is_directory(native(directory)));
    EXPECT_TRUE(std::filesystem::is_symlink(native(link)));
    EXPECT_EQ("keep", readBytes("victim"));
}

TEST_F(FileReplacementTest, UpdateLockHeldByAnotherProcessIsRefusedWithASharingViolation) {
    int ready[2];
    int release[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(release));
    const pid_t holder = fork();
    ASSERT_NE(-1, holder);
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        FileUpdateLock held;
        const char answer = held.acquire(path(TARGET)) ? 'y' : 'n';
        char ignored = 0;
        const bool told = write(ready[1], &answer, 1) == 1;
        _exit(told && read(release[0], &ignored, 1) >= 0 ? 0 : 1);
    }
    close(ready[1]);
    close(release[0]);
    char answer = 0;
    ASSERT_EQ(1, read(ready[0], &answer, 1));
    ASSERT_EQ('y', answer);
    FileUpdateLock mine;
    EXPECT_FALSE(mine.acquire(path(TARGET)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    close(release[1]);
    int status = 0;
    ASSERT_EQ(holder, waitpid(holder, &status, 0));
    close(ready[0]);
    EXPECT_TRUE(mine.acquire(path(TARGET)));
}

TEST_F(FileReplacementTest, UpdateLockReleasedIsTakenByTheNextHolder) {
    FileUpdateLock first;
    ASSERT_TRUE(first.acquire(path(TARGET)));
    FileUpdateLock second;
    EXPECT_FALSE(second.acquire(path(TARGET)));
    first.release();
    EXPECT_TRUE(second.acquire(path(TARGET)));
}

TEST_F(FileReplacementTest, AReplacementThroughADescriptorsLinkWritesThePipeInPlace) {
    int ends[2];
    ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
    FileReplacement replacement;
    ASSERT_TRUE(
        replacement.begin(krel_platform::utf8ToWide("/proc/self/fd/" + std::to_string(ends[1])),
                          FileReplacement::Unlocked));
    ASSERT_TRUE(replacement.write("piped", 5));
    ASSERT_TRUE(replacement.commit());
    close(ends[1]);
    char bytes[16] = {};
    EXPECT_EQ(5, read(ends[0], bytes, sizeof(bytes)));
    EXPECT_EQ("piped", std::string(bytes));
    close(ends[0]);
}

namespace {

mode_t modeOf(const std::filesystem::path& file) {
    struct stat status {};
    return stat(file.c_str(), &status) == 0 ? status.st_mode & 07777 : 07777;
}

// The update lock's side file is made with the write bits of its target.
class UpdateLockModeTest : public FileReplacementTest {
protected:
    // Takes and releases the lock of the target of that mode; answers the side file's mode.
    mode_t sideFileModeFor(mode_t targetMode) {
        writeBytes(TARGET, "k=v\r\n");
        EXPECT_EQ(0, chmod(native(TARGET).c_str(), targetMode));
        FileUpdateLock lock;
        EXPECT_TRUE(lock.acquire(path(TARGET)));
        return modeOf(native(".app.cfg.lock"));
    }
};

} // namespace

TEST_F(UpdateLockModeTest, SideFileOfATargetOnlyItsOwnerWritesIsTheOwnersAlone) {
    EXPECT_EQ(0600u, sideFileModeFor(0644));
}

TEST_F(UpdateLockModeTest, SideFileOfAGroupWritableTargetIsOpenToTheGroup) {
    EXPECT_EQ(0660u, sideFileModeFor(0664));
}

TEST_F(UpdateLockModeTest, SideFileOpenToReadersIsNarrowedWhenTaken) {
    writeBytes(".app.cfg.lock", "");
    ASSERT_EQ(0, chmod(native(".app.cfg.lock").c_str(), 0644));
    EXPECT_EQ(0600u, sideFileModeFor(0644));
}

TEST_F(UpdateLockModeTest, AFileLinkedInAsTheSideFileKeepsItsMode) {
    writeBytes("elsewhere", "");
    ASSERT_EQ(0, chmod(native("elsewhere").c_str(), 0644));
    std::filesystem::create_hard_link(native("elsewhere"), native(".app.cfg.lock"));
    sideFileModeFor(0644);
    EXPECT_EQ(0644u, modeOf(native("elsewhere")));
}

namespace {

// A directory that every account may write ("shared", sticky as /tmp) and a file outside it
// ("victim") into which another account would like to turn the test's writes.
class PlantedLinkTest : public FileReplacementTest {
protected:
    void SetUp() override {
        FileReplacementTest::SetUp();
        if (!otherAccountUnavailable().empty()) {
            GTEST_SKIP() << otherAccountUnavailable();
        }
        ASSERT_EQ(0, chmod(root.c_str(), 0755));
        std::filesystem::create_directory(native("shared"));
        ASSERT_TRUE(krel_test::shareDirectory(native("shared")));
        writeBytes("victim", "precious");
    }

    // Nobody's link at shared/<name> to the victim.
    void plant(const std::string& name) {
        ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), native("shared/" + name)));
    }
};

} // namespace

TEST_F(PlantedLinkTest, AReplacementRefusesALinkOfAnotherAccount) {
    plant("app.cfg");
    FileReplacement replacement;
    EXPECT_FALSE(replacement.begin(path("shared/app.cfg"), FileReplacement::Exclusive));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("precious", readBytes("victim"));
    EXPECT_TRUE(std::filesystem::is_symlink(native("shared/app.cfg")));
}

TEST_F(PlantedLinkTest, EveryLinkOfAChainIsChecked) {
    plant("planted");
    std::filesystem::create_symlink("planted", native("shared/app.cfg"));
    EXPECT_FALSE(replace("shared/app.cfg", "stolen"));
    EXPECT_EQ("precious", readBytes("victim"));
}

TEST_F(PlantedLinkTest, CreateFileForWritingRefusesALinkOfAnotherAccount) {
    plant("app.log");
    const HANDLE file = CreateFileW(path("shared/app.log").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("precious", readBytes("victim"));
}

TEST_F(PlantedLinkTest, RuntimeOpenForAppendingRefusesALinkOfAnotherAccount) {
    plant("app.log");
    EXPECT_EQ(-1, _wopen(path("shared/app.log").c_str(), _O_WRONLY | _O_APPEND | _O_CREAT,
                         _S_IREAD | _S_IWRITE));
    EXPECT_EQ(nullptr, _wfopen(path("shared/app.log").c_str(), L"a"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("precious", readBytes("victim"));
}

TEST_F(PlantedLinkTest, AnOpenForReadingStillFollowsALinkOfAnotherAccount) {
    plant("app.cfg");
    const HANDLE file = CreateFileW(path("shared/app.cfg").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
}

TEST_F(PlantedLinkTest, ALinkOfTheCallersOwnIsFollowed) {
    std::filesystem::create_symlink(native("victim"), native("shared/app.cfg"));
    ASSERT_TRUE(replace("shared/app.cfg", "replaced"));
    EXPECT_EQ("replaced", readBytes("victim"));
    EXPECT_TRUE(std::filesystem::is_symlink(native("shared/app.cfg")));
}

TEST_F(PlantedLinkTest, ALinkOfTheDirectorysOwnerIsFollowed) {
    std::filesystem::create_directory(native("nobodys"));
    ASSERT_EQ(0, chown(native("nobodys").c_str(), krel_test::NOBODY, krel_test::NOBODY));
    ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), native("nobodys/app.cfg")));
    ASSERT_TRUE(replace("nobodys/app.cfg", "replaced"));
    EXPECT_EQ("replaced", readBytes("victim"));
}

TEST_F(PlantedLinkTest, AReaderOnlyAccountCannotOpenTheSideFileOfTheUpdateLock) {
    writeBytes("shared/app.cfg", "k=v\r\n");
    ASSERT_EQ(0, chmod(native("shared/app.cfg").c_str(), 0644));
    {
        FileUpdateLock lock;
        ASSERT_TRUE(lock.acquire(path("shared/app.cfg")));
    }
    const std::string side = native("shared/.app.cfg.lock").string();
    EXPECT_EQ(0, runAsNobody([&] {
                  const int opened = open(side.c_str(), O_RDONLY | O_CLOEXEC);
                  return opened < 0 && errno == EACCES ? 0 : 1;
              }));
}

TEST_F(PlantedLinkTest, AReaderOnlyAccountIsRefusedTheUpdateLock) {
    writeBytes("shared/app.cfg", "k=v\r\n");
    ASSERT_EQ(0, chmod(native("shared/app.cfg").c_str(), 0644));
    EXPECT_EQ(0, runAsNobody([&] {
                  FileUpdateLock lock;
                  return !lock.acquire(path("shared/app.cfg")) &&
                                 GetLastError() == ERROR_ACCESS_DENIED
                             ? 0
                             : 1;
              }));
    FileUpdateLock mine;
    EXPECT_TRUE(mine.acquire(path("shared/app.cfg")));
}
