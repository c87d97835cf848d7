// Other processes writing the registry: writers at the same time all succeed, each in its
// turn and without long waits, a hive that another process holds is waited for, and a writer
// killed while it writes leaves the store readable, with every write it saw committed.
#include <algorithm>
#include <csignal>
#include <poll.h>
#include <sqlite3.h>
#include <sstream>

#include "RegistryTestSupport.h"
#include "platform/SqliteConnection.h"
#include "platform/SqliteWriteLock.h"

namespace {

std::string writerProgram() {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.find_last_of('/')) + "/helpers/krel_registry_writer";
}

class RegistryWriterProcessTest : public RegistryTest {
protected:
    struct Writer {
        pid_t pid;
        int output;
        std::string text;
    };

    static Writer startWriter(const std::string& path) {
        Writer writer{-1, -1, std::string()};
        writer.pid = spawn({writerProgram(), path}, &writer.output);
        return writer;
    }

    // A writer that stops by itself after the given seconds.
    static Writer startTimedWriter(const std::string& path, int seconds) {
        Writer writer{-1, -1, std::string()};
        writer.pid = spawn({writerProgram(), path, std::to_string(seconds)}, &writer.output);
        return writer;
    }

    // Reads the timed writer's report to its end: its exit code, with the longest single
    // write in microseconds in slowest.
    static int finishTimedWriter(Writer& writer, long& slowest) {
        readReports(writer, -1);
        close(writer.output);
        int status = 0;
        waitpid(writer.pid, &status, 0);
        const size_t found = writer.text.rfind("slowest ");
        slowest = found == std::string::npos ? -1 : std::stol(writer.text.substr(found + 8));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Reads the writer's report until it holds the given number of writes (any number when
    // negative) or ends.
    static void readReports(Writer& writer, long writes) {
        char buffer[4096];
        ssize_t count = 0;
        while ((writes < 0 || std::count(writer.text.begin(), writer.text.end(), '\n') < writes) &&
               (count = read(writer.output, buffer, sizeof buffer)) > 0) {
            writer.text.append(buffer, static_cast<size_t>(count));
        }
    }

    // Kills the writer with SIGKILL and answers the last write it reported (-1 for none);
    // a writer that ended by itself had a write fail.
    static long killWriter(Writer& writer) {
        kill(writer.pid, SIGKILL);
        char buffer[4096];
        ssize_t count = 0;
        while ((count = read(writer.output, buffer, sizeof buffer)) > 0) {
            writer.text.append(buffer, static_cast<size_t>(count));
        }
        close(writer.output);
        int status = 0;
        waitpid(writer.pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "a write failed";
        long last = -1;
        std::istringstream lines(writer.text);
        std::string line;
        while (std::getline(lines, line)) {
            if (lines.good()) {
                last = std::stol(line);
            }
        }
        return last;
    }

    long killWriterAfter(const std::string& path, long writes) {
        Writer writer = startWriter(path);
        readReports(writer, writes);
        return killWriter(writer);
    }

    // Checks that the values v0 to v<last> hold their numbers.
    void expectNumbersUpTo(HKEY key, long last) {
        for (long i = 0; i <= last; ++i) {
            DWORD number = 0;
            DWORD size = sizeof number;
            ASSERT_EQ(RegQueryValueExW(key, (L"v" + std::to_wstring(i)).c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&number), &size),
                      ERROR_SUCCESS)
                << "write " << i << " of " << last;
            ASSERT_EQ(number, static_cast<DWORD>(i));
        }
    }
};

TEST_F(RegistryWriterProcessTest, WritersAtTheSameTimeAllSucceed) {
    std::vector<Writer> writers;
    for (int i = 0; i < 3; ++i) {
        writers.push_back(startWriter("Shared\\Key"));
    }
    const HKEY key = createKey(L"Shared\\Key");
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(setNumber(key, L"mine", static_cast<DWORD>(round)), ERROR_SUCCESS);
    }
    long least = -1;
    for (Writer& writer : writers) {
        readReports(writer, 300);
    }
    for (Writer& writer : writers) {
        const long last = killWriter(writer);
        least = least < 0 ? last : std::min(least, last);
    }
    ASSERT_GE(least, 299);
    expectNumbersUpTo(key, least);
}

TEST_F(RegistryWriterProcessTest, FourWritersInLoopsAllSucceedAndNoneWaitsLong) {
    std::vector<Writer> writers;
    for (int i = 0; i < 4; ++i) {
        writers.push_back(startTimedWriter("Shared\\Key", 2));
    }
    for (Writer& writer : writers) {
        long slowest = -1;
        EXPECT_EQ(finishTimedWriter(writer, slowest), 0) << "a write failed";
        EXPECT_GE(slowest, 0);
        EXPECT_LT(slowest, 500000) << "microseconds for one write";
    }
}

// The test holds the hive as a writer in the middle of its transaction does, longer than
// SQLite's own busy time-out, while another process opens the hive and starts writing.
TEST_F(RegistryWriterProcessTest, ProcessOpeningAHiveThatAnotherHoldsWritesOnceItIsFree) {
    krel_platform::SqliteWriteLock lock;
    ASSERT_TRUE(lock.open(root.string() + "/user.lock"));
    int error = SQLITE_OK;
    auto holder = krel_platform::SqliteConnection::open(root.string() + "/user.db", true, error);
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(lock.acquire(), SQLITE_OK);
    ASSERT_EQ(holder->execute("BEGIN IMMEDIATE"), SQLITE_OK);

    Writer writer = startWriter("Held\\Key");
    pollfd output{writer.output, POLLIN, 0};
    EXPECT_EQ(poll(&output, 1, krel_platform::SqliteConnection::BUSY_TIMEOUT_MS + 1000), 0)
        << "the writer wrote, or gave up, while the hive was held";
    holder->execute("ROLLBACK");
    lock.release();

    readReports(writer, 3);
    EXPECT_GE(killWriter(writer), 2);
}

// A process that writes the database without taking turns on the lock file keeps the hive
// busy past SQLite's time-out while this process first uses it.
TEST_F(RegistryWriterProcessTest, HiveBusyWhileItIsSetUpAnswersBusyAndIsSetUpAtTheNextCall) {
    int error = SQLITE_OK;
    auto holder = krel_platform::SqliteConnection::open(root.string() + "/user.db", true, error);
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(holder->execute("BEGIN IMMEDIATE"), SQLITE_OK);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Busy\\Key", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              170)
        << "ERROR_BUSY";
    holder->execute("ROLLBACK");

    EXPECT_EQ(setNumber(createKey(L"Busy\\Key"), L"n", 1), ERROR_SUCCESS);
}

// A hundred runs of the tool, four at a time, each writing a value of its own. A sanitized
// tool takes about a second of processor time to start, so that build runs a quarter of them
// within the test time limit.
#ifdef __SANITIZE_ADDRESS__
constexpr int adminToolRuns = 24;
#else
constexpr int adminToolRuns = 100;
#endif

TEST_F(RegistryWriterProcessTest, AdminToolWritesSucceedEveryTimeNextToALoopingWriter) {
    Writer writer = startWriter("Shared\\Key");
    readReports(writer, 1);
    for (int round = 0; round < adminToolRuns; round += 4) {
        std::vector<pid_t> tools;
        for (int run = round; run < round + 4; ++run) {
            tools.push_back(spawn({KREL_ADMIN_TOOL, "write", "HKCU\\Other\\Key",
                                   "n" + std::to_string(run), "REG_DWORD", std::to_string(run)},
                                  nullptr));
        }
        for (pid_t tool : tools) {
            int status = 0;
            waitpid(tool, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "a write of round " << round;
        }
    }
    EXPECT_GE(killWriter(writer), 0);
    const HKEY key = createKey(L"Other\\Key");
    for (int run = 0; run < adminToolRuns; ++run) {
        DWORD number = 0;
        DWORD size = sizeof number;
        ASSERT_EQ(RegQueryValueExW(key, (L"n" + std::to_wstring(run)).c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&number), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(number, static_cast<DWORD>(run));
    }
}

TEST_F(RegistryWriterProcessTest, KilledWriterLeavesEveryReportedWriteInAReadableStore) {
    for (int round = 0; round < 3; ++round) {
        const std::wstring path = L"Crash\\Round" + std::to_wstring(round);
        const long last = killWriterAfter(krel_platform::wideToUtf8(path), 200 * (round + 1));
        ASSERT_GE(last, 200 * (round + 1) - 1);

        HKEY key = nullptr;
        ASSERT_EQ(openKey(path, key), ERROR_SUCCESS);
        ASSERT_NO_FATAL_FAILURE(expectNumbersUpTo(key, last));
        EXPECT_GE(valueNames(key).size(), static_cast<size_t>(last + 2));
        EXPECT_EQ(setString(key, L"after", L"writable"), ERROR_SUCCESS);
    }
}

} // namespace
