#include <csignal>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <sys/syscall.h>
#include <vector>

#include "ProcessFixture.h"
#include "platform/WinProcess.h"

using krel_std::File;
using krel_std::Process;

class ProcessStartTest : public ProcessFixture {
protected:
    // The lines the helper wrote in "args" mode: its arguments, then "cwd=<directory>".
    std::vector<std::string> reportedLines(Process& process) {
        EXPECT_TRUE(awaitEnd(process));
        EXPECT_EQ(0, process.getExitCode());
        std::istringstream text(readBytes("report"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::wstring reportArguments() { return L"args " + path("report"); }
};

TEST_F(ProcessStartTest, QuotesAndBackslashesArriveAsWindowsSplitsThem) {
    Process& process =
        start(reportArguments() + L" \"two words\" a\\\\b \"x\\\"y\" c\\\\\\\"d \"\" \"e\\\\\"");
    std::vector<std::string> lines = reportedLines(process);
    const std::vector<std::string> expected = {"krel_process_child",
                                               "args",
                                               krel_platform::wideToUtf8(path("report")),
                                               "two words",
                                               "a\\\\b",
                                               "x\"y",
                                               "c\\\"d",
                                               "",
                                               "e\\"};
    ASSERT_EQ(expected.size() + 1, lines.size());
    EXPECT_EQ(expected, std::vector<std::string>(lines.begin(), lines.end() - 1));
}

TEST_F(ProcessStartTest, WorkingDirectoryIsUsed) {
    std::filesystem::create_directory(native("work"));
    Process& process = start(reportArguments(), File(path("work")));
    std::vector<std::string> lines = reportedLines(process);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("cwd=" + native("work").string(), lines.back());
}

TEST_F(ProcessStartTest, EmptyWorkingDirectoryMeansTheCallers) {
    Process& process = start(reportArguments(), File());
    std::vector<std::string> lines = reportedLines(process);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("cwd=" + std::filesystem::current_path().string(), lines.back());
}

TEST_F(ProcessStartTest, NoZombieRemainsAfterDroppingARunningChild) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    const pid_t pid = static_cast<pid_t>(process.getId());
    release(process).reset();

    const int descriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(0, kill(pid, SIGKILL));
    pollfd ended{descriptor, POLLIN, 0};
    ASSERT_EQ(1, poll(&ended, 1, PATIENCE_MS));
    close(descriptor);

    // Any use of the process table reaps children whose handles are all gone.
    DWORD ids[1];
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids, sizeof(ids), &bytes));
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
}

TEST_F(ProcessStartTest, ExitCodeOfAChildIsKeptForEveryHandle) {
    Process& process = start(L"exit 4");
    HANDLE second = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process.getId());
    ASSERT_NE(nullptr, second);
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(4, process.getExitCode());
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(second, &code));
    EXPECT_EQ(4u, code);
    CloseHandle(second);
}

TEST_F(ProcessStartTest, ChildEndedByAnotherSignalAnswers128PlusItsNumber) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    ASSERT_EQ(0, kill(static_cast<pid_t>(process.getId()), SIGTERM));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(128 + SIGTERM, process.getExitCode());
}

TEST(ProcessListTest, EnumProcessesListsEveryProcessInAscendingOrder) {
    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    ids.resize(bytes / sizeof(DWORD));
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), GetCurrentProcessId()));
}

TEST(ProcessListTest, OpenProcessOfMissingPidIsInvalidParameter) {
    // Above the largest pid Linux hands out.
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0x7FFFFFF0u));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}
