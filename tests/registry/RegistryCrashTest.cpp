// A process killed while it writes the registry leaves the store readable, with every write
// it saw committed.
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

class RegistryCrashTest : public RegistryTest {
protected:
    // Runs the writer on the key until it has reported at least the given number of writes,
    // kills it with SIGKILL, and answers the last write it reported (-1 for none).
    long killWriterAfter(const std::string& path, long writes) {
        int output = -1;
        const pid_t pid = spawn({writerProgram(), path}, &output);
        std::string text;
        char buffer[4096];
        ssize_t count = 0;
        while (std::count(text.begin(), text.end(), '\n') < writes &&
               (count = read(output, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(count));
        }
        kill(pid, SIGKILL);
        while ((count = read(output, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(count));
        }
        close(output);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        long last = -1;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            if (lines.good()) {
                last = std::stol(line);
            }
        }
        return last;
    }
};

TEST_F(RegistryCrashTest, KilledWriterLeavesEveryReportedWriteInAReadableStore) {
    for (int round = 0; round < 3; ++round) {
        const std::wstring path = L"Crash\\Round" + std::to_wstring(round);
        const long last = killWriterAfter(krel_platform::wideToUtf8(path), 200 * (round + 1));
        ASSERT_GE(last, 200 * (round + 1) - 1);

        HKEY key = nullptr;
        ASSERT_EQ(openKey(path, key), ERROR_SUCCESS);
        for (long i = 0; i <= last; ++i) {
            DWORD number = 0;
            DWORD size = sizeof number;
            ASSERT_EQ(RegQueryValueExW(key, (L"v" + std::to_wstring(i)).c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&number), &size),
                      ERROR_SUCCESS)
                << "write " << i << " of " << last;
            ASSERT_EQ(number, static_cast<DWORD>(i));
        }
        EXPECT_GE(valueNames(key).size(), static_cast<size_t>(last + 2));
        EXPECT_EQ(setString(key, L"after", L"writable"), ERROR_SUCCESS);
    }
}

} // namespace
