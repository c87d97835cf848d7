// A writer of another process that keeps the writers' turn past the wait limit: writers that
// gave up waiting for it take their turns again as soon as it lets go or ends, and writers
// killed while they waited leave nothing behind in the lock file. Every process here waits
// for the turn no longer than a second, through the lock's test hook.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>

#include "RegistryTestSupport.h"
#include "platform/SqliteWriteLock.h"
#include "support/Eventually.h"

namespace {

typedef std::chrono::steady_clock Clock;

constexpr std::chrono::milliseconds waitLimit(1000);
// Far beyond what a passing test needs: a few waits of the limit.
constexpr std::chrono::seconds patience(10);

std::string helperProgram(const std::string& name) {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.find_last_of('/')) + "/helpers/" + name;
}

bool isWrite(const std::string& line) {
    return !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) != 0;
}

// A helper process with its stdin and stdout.
struct Helper {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
    std::string pending;
};

class RegistryStalledWriterTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        krel_platform::SqliteWriteLock::setWaitLimitForTests(waitLimit);
    }

    void TearDown() override {
        for (Helper& helper : helpers) {
            finish(helper);
        }
        krel_platform::SqliteWriteLock::setWaitLimitForTests(
            std::chrono::milliseconds(krel_platform::SqliteWriteLock::WAIT_LIMIT_MS));
        RegistryTest::TearDown();
    }

    Helper& start(const std::vector<std::string>& arguments) {
        int toChild[2] = {-1, -1};
        int fromChild[2] = {-1, -1};
        EXPECT_EQ(pipe2(toChild, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        Helper helper;
        EXPECT_EQ(posix_spawn(&helper.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        helper.input = toChild[1];
        helper.output = fromChild[0];
        helpers.push_back(helper);
        return helpers.back();
    }

    // A helper that holds the writers' turn of the user's hive until a line on its stdin.
    Helper& startHolder() {
        return start({helperProgram("krel_lock_holder"), (root / "user.lock").string(), "turn",
                      std::to_string(waitLimit.count())});
    }

    // A registry writer that reports each write, and each time-out as "busy", and goes on.
    Helper& startRetryingWriter(const std::string& key) {
        return start({helperProgram("krel_registry_writer"), key, "retry",
                      std::to_string(waitLimit.count())});
    }

    static void finish(Helper& helper) {
        if (helper.pid < 0) {
            return;
        }
        kill(helper.pid, SIGKILL);
        waitpid(helper.pid, nullptr, 0);
        close(helper.input);
        close(helper.output);
        helper.pid = -1;
    }

    // The helper's next line, or "" when it ended or wrote none within the patience.
    static std::string nextLine(Helper& helper) {
        const Clock::time_point deadline = Clock::now() + patience;
        size_t end;
        while ((end = helper.pending.find('\n')) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd readable{helper.output, POLLIN, 0};
            char buffer[4096];
            ssize_t count = 0;
            if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0 ||
                (count = read(helper.output, buffer, sizeof buffer)) <= 0) {
                return std::string();
            }
            helper.pending.append(buffer, static_cast<size_t>(count));
        }
        const std::string line = helper.pending.substr(0, end);
        helper.pending.erase(0, end + 1);
        return line;
    }

    // Whether the helper reports a write within the patience, whatever time-outs come first.
    static bool writesSoon(Helper& helper) {
        const Clock::time_point deadline = Clock::now() + patience;
        for (std::string line = nextLine(helper); !line.empty(); line = nextLine(helper)) {
            if (isWrite(line)) {
                return true;
            }
            if (Clock::now() > deadline) {
                return false;
            }
        }
        return false;
    }

    static void letGo(Helper& holder) { ASSERT_EQ(write(holder.input, "\n", 1), 1); }

    // The holder holds the turn; another process's write waits for it and gives up once.
    Helper& startWriterThatTimesOut(Helper& holder) {
        EXPECT_EQ(nextLine(holder), "locked");
        Helper& second = startRetryingWriter("Stalled\\Second");
        EXPECT_EQ(nextLine(second), "busy") << "a write while another process holds the turn";
        return second;
    }

    // Blocked lock requests on the file, as /proc/locks lists them.
    static int blockedRequests(const std::string& path) {
        struct stat status {};
        if (stat(path.c_str(), &status) != 0) {
            return -1;
        }
        const std::string inode = ":" + std::to_string(status.st_ino) + " ";
        std::ifstream locks("/proc/locks");
        int blocked = 0;
        for (std::string line; std::getline(locks, line);) {
            blocked +=
                line.find("->") != std::string::npos && line.find(inode) != std::string::npos;
        }
        return blocked;
    }

    // A deque, so that the references start answers stay valid.
    std::deque<Helper> helpers;
};

TEST_F(RegistryStalledWriterTest, WritersResumeOnceAHolderPastTheLimitLetsGo) {
    Helper& holder = startHolder();
    Helper& second = startWriterThatTimesOut(holder);
    ASSERT_FALSE(HasFailure());

    letGo(holder);
    EXPECT_EQ(nextLine(holder), "locked") << "the holder takes the turn again";
    EXPECT_TRUE(writesSoon(second)) << "the writer that timed out";
    EXPECT_TRUE(writesSoon(startRetryingWriter("Stalled\\Third"))) << "a new process";
    EXPECT_EQ(setNumber(createKey(L"Stalled\\Mine"), L"n", 1), ERROR_SUCCESS);
}

TEST_F(RegistryStalledWriterTest, WritersResumeOnceAHolderPastTheLimitIsKilled) {
    Helper& holder = startHolder();
    Helper& second = startWriterThatTimesOut(holder);
    ASSERT_FALSE(HasFailure());

    finish(holder);
    EXPECT_TRUE(writesSoon(second)) << "the writer that timed out";
    EXPECT_TRUE(writesSoon(startRetryingWriter("Stalled\\Third"))) << "a new process";
    EXPECT_EQ(setNumber(createKey(L"Stalled\\Mine"), L"n", 1), ERROR_SUCCESS);
}

// Writers that wait the full thirty seconds, killed while the holder keeps the turn.
TEST_F(RegistryStalledWriterTest, WritersKilledWhileWaitingLeaveNoCountOfWaitersBehind) {
    constexpr int waiters = 4;
    Helper& holder = startHolder();
    ASSERT_EQ(nextLine(holder), "locked");
    std::vector<size_t> killed;
    for (int i = 0; i < waiters; ++i) {
        killed.push_back(helpers.size());
        start({helperProgram("krel_registry_writer"), "Waiting\\Key"});
    }
    const std::string lockPath = (root / "user.lock").string();
    ASSERT_TRUE(
        krel_test::becomesTrue([&] { return blockedRequests(lockPath) == waiters; }, patience))
        << blockedRequests(lockPath) << " writers wait";
    for (size_t index : killed) {
        finish(helpers[index]);
    }
    letGo(holder);
    ASSERT_EQ(nextLine(holder), "locked");

    std::ifstream lockFile(lockPath, std::ios::binary);
    uint32_t count = 0;
    lockFile.read(reinterpret_cast<char*>(&count), sizeof count);
    EXPECT_EQ(count, 0u) << "the lock file's first word";
}

} // namespace
