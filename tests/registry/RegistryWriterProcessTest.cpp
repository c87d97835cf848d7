// Other processes writing the registry: writers at the same time all succeed, and a writer
// killed while it writes leaves the store readable, with every write it saw committed.
#include "RegistryTestSupport.h"

#include <algorithm>
#include <csignal>
#include <sstream>

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

    // Reads the writer's report until it holds the given number of writes or ends.
    static void readReports(Writer& writer, long writes) {
        char buffer[4096];
        ssize_t count = 0;
        while (std::count(writer.text.begin(), writer.text.end(), '\n') < writes &&
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
