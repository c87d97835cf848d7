// The wait for a lock file's lock: bounded by its deadline, woken by the holder letting go, and
// leaving nothing locked when it gives up.
#include "platform/FileLockWait.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "support/TempDirectory.h"

namespace {

using Clock = std::chrono::steady_clock;

class FileLockWaitTest : public TempDirectoryTest {
protected:
    // A descriptor of its own (an open-file description of its own) for the lock file.
    int openLockFile() const {
        return open(native("test.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }

    // Whether some lock call is blocked waiting for the lock file, as the kernel lists it.
    bool someoneWaits() const {
        struct stat status {};
        if (stat(native("test.lock").c_str(), &status) != 0) {
            return false;
        }
        const std::string inode = ":" + std::to_string(status.st_ino) + " ";
        std::ifstream locks("/proc/locks");
        std::string line;
        while (std::getline(locks, line)) {
            if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(FileLockWaitTest, GivesUpWithETIMEDOUTAtTheDeadlineWhileAnotherHolds) {
    const int holder = openLockFile();
    const int waiter = openLockFile();
    ASSERT_TRUE(krel_platform::lockFileUntil(holder, Clock::now()));

    const auto start = Clock::now();
    errno = 0;
    EXPECT_FALSE(krel_platform::lockFileUntil(waiter, start + std::chrono::milliseconds(200)));
    EXPECT_EQ(ETIMEDOUT, errno);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(190));
    EXPECT_LT(waited, std::chrono::seconds(5));
    close(waiter);
    close(holder);
}

TEST_F(FileLockWaitTest, TakesTheLockWhenItsHolderLetsGoDuringTheWait) {
    const int holder = openLockFile();
    const int waiter = openLockFile();
    ASSERT_TRUE(krel_platform::lockFileUntil(holder, Clock::now()));

    std::future<bool> taken = std::async(std::launch::async, [waiter] {
        return krel_platform::lockFileUntil(waiter, Clock::now() + std::chrono::seconds(20));
    });
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (!someoneWaits() && Clock::now() < limit) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(someoneWaits());
    close(holder);

    ASSERT_EQ(std::future_status::ready, taken.wait_for(std::chrono::seconds(10)));
    EXPECT_TRUE(taken.get());
    close(waiter);
}

TEST_F(FileLockWaitTest, LeavesNothingLockedAfterGivingUp) {
    const int holder = openLockFile();
    const int waiter = openLockFile();
    ASSERT_TRUE(krel_platform::lockFileUntil(holder, Clock::now()));
    ASSERT_FALSE(
        krel_platform::lockFileUntil(waiter, Clock::now() + std::chrono::milliseconds(50)));
    close(holder);

    // The waiter's description stays open: it must not have been granted the lock late.
    const int next = openLockFile();
    EXPECT_TRUE(krel_platform::lockFileUntil(next, Clock::now()));
    close(next);
    close(waiter);
}

} // namespace
