#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ProcessFixture.h"
#include "base/ErrorUtils.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "platform/WinProcess.h"
#include "thread/Concurrency.h"

using krel_std::File;
using krel_std::KrelAccessException;
using krel_std::KrelIllegalArgumentException;
using krel_std::KrelIllegalStateException;
using krel_std::Process;

class ProcessTest : public ProcessFixture {};

TEST_F(ProcessTest, EndedChildSignalsShutdownEventAndKeepsItsExitCode) {
    Process& process = start(L"exit 7");
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(7, process.getExitCode());
    EXPECT_FALSE(process.isRunning());
}

TEST_F(ProcessTest, ExitCodeOfRunningChildIsIllegalState) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    EXPECT_TRUE(process.isRunning());
    try {
        process.getExitCode();
        FAIL() << "no exception";
    } catch (const KrelIllegalStateException& exception) {
        EXPECT_EQ(L"Process is still running", exception.getMessage());
    }
}

TEST_F(ProcessTest, MissingExecutableIsAccessErrorWithSystemText) {
    try {
        Process process(File(path("missing-program")), L"", File());
        FAIL() << "no exception";
    } catch (const KrelAccessException& exception) {
        EXPECT_EQ(krel_std::ErrorUtils::getErrorDescription(ERROR_FILE_NOT_FOUND),
                  exception.getMessage());
    }
}

TEST_F(ProcessTest, ProcessNameAndPathAreThoseOfTheExecutable) {
    Process& process = start(L"exit 0");
    EXPECT_EQ(L"krel_process_child", process.getProcessName());
    EXPECT_EQ(helperPath(), process.getProcessPath());
    EXPECT_EQ(L"Process{path='" + helperPath() + L"'}", process.toString());
    EXPECT_NE(0u, process.getId());
}

TEST_F(ProcessTest, StopLetsChildHoldingTheEventEndWithItsOwnCode) {
    ReadySignal ready;
    const std::wstring stopName = uniqueName(L"stop");
    Process& process = start(L"hold " + stopName + L" " + ready.name + L" 5");
    ASSERT_TRUE(ready.await());
    process.setMaxWaitTime(PATIENCE_MS);
    process.stop(stopName);
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(5, process.getExitCode());
}

TEST_F(ProcessTest, StopKillsChildIgnoringTheEventOnceMaxWaitTimePasses) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    process.setMaxWaitTime(300);
    const auto before = std::chrono::steady_clock::now();
    process.stop(uniqueName(L"unheld"));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(0, process.getExitCode());
}

TEST_F(ProcessTest, NegativeMaxWaitTimeKillsAtOnce) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    process.setMaxWaitTime(-5);
    process.stop(uniqueName(L"unheld"));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(0, process.getExitCode());
}

TEST_F(ProcessTest, PriorityOutsideTheTableIsIllegalArgument) {
    Process& process = start(L"exit 0");
    try {
        process.setPriority(static_cast<Process::ProcessPriority>(6));
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(L"Attempted to set an invalid priority value: 6", exception.getMessage());
    }
}

TEST_F(ProcessTest, BelowNormalPriorityRoundTrips) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    process.setPriority(Process::BELOW_NORMAL);
    EXPECT_EQ(Process::BELOW_NORMAL, process.getPriority());
}

TEST_F(ProcessTest, CurrentProcessIsNamedUnknownWithTheCallersId) {
    boost::shared_ptr<Process> current = Process::getCurrentProcess();
    EXPECT_EQ(Process::getCurrentProcessId(), current->getId());
    EXPECT_EQ(L"Unknown", current->getProcessName());
    EXPECT_TRUE(current->isRunning());
}

class ProcessByNameTest : public ProcessFixture {
protected:
    // A copy of the helper under a name no other process has.
    std::wstring copyHelper() {
        const std::string name = krel_platform::wideToUtf8(uniqueName(L"krelchild"));
        std::filesystem::copy_file(krel_platform::wideToUtf8(helperPath()), native(name));
        return krel_platform::utf8ToWide(name);
    }
};

TEST_F(ProcessByNameTest, FindsRunningProcessByExactBaseName) {
    const std::wstring name = copyHelper();
    ReadySignal ready;
    Process& process = startProgram(path(krel_platform::wideToUtf8(name)), L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    boost::shared_ptr<Process> found = Process::getProcessByName(name);
    EXPECT_EQ(process.getId(), found->getId());
    EXPECT_EQ(L"Unknown", found->getProcessName());
    EXPECT_TRUE(found->isRunning());
}

TEST_F(ProcessByNameTest, NameDifferingInCaseIsNotFound) {
    std::wstring name = copyHelper();
    ReadySignal ready;
    startProgram(path(krel_platform::wideToUtf8(name)), L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    name[0] = L'K';
    try {
        Process::getProcessByName(name);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(L"Unable to retrieve process <" + name + L">", exception.getMessage());
    }
}

TEST_F(ProcessByNameTest, MissingNameIsIllegalArgument) {
    const std::wstring name = uniqueName(L"no-such-program");
    try {
        Process::getProcessByName(name);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(L"Unable to retrieve process <" + name + L">", exception.getMessage());
    }
}

// Many small processes: clones that share this process's memory and descriptors, and wait until
// the pipe's write end closes.
class ProcessCrowd {
public:
    explicit ProcessCrowd(size_t count) : stacks(count) {
        if (pipe2(descriptors, O_CLOEXEC) != 0) {
            return;
        }
        for (auto& stack : stacks) {
            stack.resize(STACK_BYTES);
            const pid_t pid = clone(&waitForClose, stack.data() + stack.size(),
                                    CLONE_VM | CLONE_FILES | SIGCHLD, &descriptors[0]);
            if (pid <= 0) {
                break;
            }
            pids.push_back(pid);
        }
    }
    ~ProcessCrowd() {
        close(descriptors[1]);
        for (pid_t pid : pids) {
            waitpid(pid, nullptr, 0);
        }
        close(descriptors[0]);
    }

    size_t size() const { return pids.size(); }

private:
    static constexpr size_t STACK_BYTES = 16384;

    __attribute__((no_sanitize_address)) static int waitForClose(void* descriptor) {
        char byte = 0;
        return static_cast<int>(syscall(SYS_read, *static_cast<int*>(descriptor), &byte, 1));
    }

    int descriptors[2] = {-1, -1};
    std::vector<std::vector<char>> stacks;
    std::vector<pid_t> pids;
};

TEST_F(ProcessByNameTest, FindsProcessBeyondTheFirstThousandIds) {
    ProcessCrowd crowd(1100);
    ASSERT_EQ(1100u, crowd.size());
    const std::wstring name = copyHelper();
    ReadySignal ready;
    Process& process = startProgram(path(krel_platform::wideToUtf8(name)), L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    std::vector<DWORD> ids(1 << 16);
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    ids.resize(bytes / sizeof(DWORD));
    const size_t position = std::find(ids.begin(), ids.end(), process.getId()) - ids.begin();
    if (position < 1024) {
        GTEST_SKIP() << "process ids wrapped: the program is not beyond the first 1024 ids";
    }
    EXPECT_EQ(process.getId(), Process::getProcessByName(name)->getId());
}
