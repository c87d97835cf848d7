// Replacing a file: temporaries that killed savers left beside the target go once they are old,
// nothing else near the target does; and the update lock of a read-modify-write keeps other
// processes out until it is released.
#include "platform/FileReplacement.h"

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/WinBase.h"
#include "support/TempDirectory.h"

using krel_platform::FileReplacement;
using krel_platform::FileUpdateLock;

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
