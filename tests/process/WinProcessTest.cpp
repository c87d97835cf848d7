#include "platform/WinProcess.h"

#include <filesystem>
#include <sys/resource.h>

#include "ProcessFixture.h"

using krel_std::Process;

class WinProcessTest : public ProcessFixture {
protected:
    // Starts the helper in "ignore" mode and answers a handle of it.
    HANDLE startIdleChild(const std::wstring& program) {
        ReadySignal ready;
        Process& process = startProgram(program, L"ignore " + ready.name);
        EXPECT_TRUE(ready.await());
        return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_SET_INFORMATION,
                           FALSE, process.getId());
    }
};

TEST_F(WinProcessTest, PriorityClassIsReadBackByRangesOfNiceValues) {
    HANDLE child = startIdleChild(helperPath());
    ASSERT_NE(nullptr, child);
    const id_t pid = GetProcessId(child);
    ASSERT_EQ(0, setpriority(PRIO_PROCESS, pid, 3));
    EXPECT_EQ(BELOW_NORMAL_PRIORITY_CLASS, GetPriorityClass(child));
    ASSERT_EQ(0, setpriority(PRIO_PROCESS, pid, 15));
    EXPECT_EQ(IDLE_PRIORITY_CLASS, GetPriorityClass(child));
    CloseHandle(child);
}

TEST_F(WinProcessTest, PriorityClassIsSetOnEveryThread) {
    HANDLE child = startIdleChild(helperPath());
    ASSERT_NE(nullptr, child);
    ASSERT_TRUE(SetPriorityClass(child, IDLE_PRIORITY_CLASS));
    const std::string tasks = "/proc/" + std::to_string(GetProcessId(child)) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        const id_t thread = static_cast<id_t>(std::stoul(task.path().filename().string()));
        EXPECT_EQ(19, getpriority(PRIO_PROCESS, thread)) << "thread " << thread;
    }
    CloseHandle(child);
}

TEST_F(WinProcessTest, ModuleBaseNameOfADeletedExecutableHasNoMark) {
    std::filesystem::copy_file(krel_platform::wideToUtf8(helperPath()), native("gone-child"));
    HANDLE child = startIdleChild(path("gone-child"));
    ASSERT_NE(nullptr, child);
    std::filesystem::remove(native("gone-child"));
    HMODULE module = nullptr;
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(child, &module, sizeof(module), &needed));
    wchar_t name[260];
    ASSERT_EQ(10u, GetModuleBaseNameW(child, module, name, 260));
    EXPECT_EQ(std::wstring(L"gone-child"), name);
    CloseHandle(child);
}

TEST_F(WinProcessTest, ModuleBaseNameIsCutToTheBuffer) {
    HANDLE child = startIdleChild(helperPath());
    ASSERT_NE(nullptr, child);
    wchar_t name[5];
    ASSERT_EQ(4u, GetModuleBaseNameW(child, nullptr, name, 5));
    EXPECT_EQ(std::wstring(L"krel"), name);
    CloseHandle(child);
}

TEST_F(WinProcessTest, ProcessHandleIsSignalledOnceTheProcessEnds) {
    HANDLE child = startIdleChild(helperPath());
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(child, 0));
    ASSERT_TRUE(TerminateProcess(child, 6));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(child, PATIENCE_MS));
    CloseHandle(child);
}

TEST(CurrentProcessTest, PseudoHandleNamesTheCallingProcess) {
    EXPECT_EQ(GetCurrentProcessId(), GetProcessId(GetCurrentProcess()));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(STILL_ACTIVE, code);
}

TEST(CurrentProcessTest, StartingAMissingProgramIsFileNotFound) {
    PROCESS_INFORMATION information = {};
    wchar_t line[] = L"missing";
    EXPECT_FALSE(CreateProcessW(L"/nonexistent/missing", line, nullptr, nullptr, FALSE,
                                DETACHED_PROCESS, nullptr, nullptr, nullptr, &information));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(CurrentProcessTest, StartingAFileThatIsNotAProgramIsBadFormat) {
    const std::string file =
        std::filesystem::temp_directory_path() / ("krel-not-a-program-" + std::to_string(getpid()));
    {
        std::ofstream out(file);
        out << "plain text";
    }
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    PROCESS_INFORMATION information = {};
    wchar_t line[] = L"text";
    const std::wstring application = krel_platform::utf8ToWide(file);
    EXPECT_FALSE(CreateProcessW(application.c_str(), line, nullptr, nullptr, FALSE,
                                DETACHED_PROCESS, nullptr, nullptr, nullptr, &information));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
    std::filesystem::remove(file);
}
