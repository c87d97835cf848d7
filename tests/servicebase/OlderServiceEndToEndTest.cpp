// A service on the older base in a process of its own, installed with its own -i, driven with
// krel-admin as a new user would, and removed with its own -u.
#include <sys/stat.h>

#include "scm/ServiceManagerFixture.h"

namespace {

class OlderServiceEndToEndTest : public ServiceManagerTest {
protected:
    // How long a paused worker is watched for growth it must not make: ten of its periods.
    static constexpr DWORD STILLNESS_MS = 100;

    void SetUp() override {
        ServiceManagerTest::SetUp();
        name = krel_platform::wideToUtf8(uniqueName());
        setenv("KREL_OLDER_SERVICE_NAME", name.c_str(), 1);
        setenv("KREL_OLDER_SERVICE_FILE", growingFile().c_str(), 1);
    }

    void TearDown() override {
        if (pid != 0) {
            runTool({"control-service", name, "stop"});
        }
        ServiceManagerTest::TearDown();
    }

    static std::string olderServicePath() {
        const std::wstring self = krel_test::selfPath();
        return krel_platform::wideToUtf8(self.substr(0, self.find_last_of(L'/'))) +
               "/helpers/krel_older_service";
    }

    std::string growingFile() const { return (root / "growing").string(); }

    long fileSize() const {
        struct stat status {};
        return stat(growingFile().c_str(), &status) == 0 ? static_cast<long>(status.st_size) : -1;
    }

    // Whether the file grows within the patience.
    bool fileGrows() const {
        const long before = fileSize();
        const DWORD deadline = GetTickCount() + PATIENCE_MS;
        while (fileSize() == before) {
            if (static_cast<int>(deadline - GetTickCount()) <= 0) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }

    // Whether the file keeps its size for a while (an observation window, not a wait).
    bool fileStandsStill() const {
        const long before = fileSize();
        const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WaitForSingleObject(never, STILLNESS_MS);
        CloseHandle(never);
        return fileSize() == before;
    }

    // The process id the service wrote once started, 0 while there is none.
    DWORD writtenPid() const {
        std::ifstream input(growingFile() + ".pid");
        DWORD value = 0;
        input >> value;
        return value;
    }

    // Waits until query-service reports the state.
    bool reportsState(const std::string& state) {
        const DWORD deadline = GetTickCount() + PATIENCE_MS;
        std::string output;
        while (runTool({"query-service", name}, &output) == 0 &&
               output.find(state) == std::string::npos) {
            if (static_cast<int>(deadline - GetTickCount()) <= 0) {
                return false;
            }
        }
        return output.find(state) != std::string::npos;
    }

    std::string name;
    DWORD pid = 0;
};

TEST_F(OlderServiceEndToEndTest, InstallsRunsPausesContinuesStopsAndRemovesItself) {
    ASSERT_EQ(runProgram({olderServicePath(), "-i"}, nullptr), 0);
    std::string output;
    ASSERT_EQ(runTool({"query-service", name}, &output), 0);
    EXPECT_NE(output.find("state: 1 STOPPED"), std::string::npos) << output;

    ASSERT_EQ(runTool({"start-service", name}), 0);
    ASSERT_TRUE(reportsState("state: 4 RUNNING"));
    pid = writtenPid();
    ASSERT_NE(pid, 0u);
    EXPECT_NE(pid, static_cast<DWORD>(getpid()));
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    processes.push_back(process);
    EXPECT_TRUE(fileGrows());

    ASSERT_EQ(runTool({"control-service", name, "pause"}, &output), 0);
    EXPECT_NE(output.find("state: 7 PAUSED"), std::string::npos) << output;
    EXPECT_TRUE(fileStandsStill());

    ASSERT_EQ(runTool({"control-service", name, "continue"}, &output), 0);
    EXPECT_NE(output.find("state: 4 RUNNING"), std::string::npos) << output;
    EXPECT_TRUE(fileGrows());

    ASSERT_EQ(runTool({"control-service", name, "stop"}, &output), 0);
    ASSERT_TRUE(processEnded());
    pid = 0;
    ASSERT_EQ(runTool({"query-service", name}, &output), 0);
    EXPECT_NE(output.find("state: 1 STOPPED"), std::string::npos) << output;

    ASSERT_EQ(runProgram({olderServicePath(), "-U"}, nullptr), 0);
    EXPECT_EQ(runTool({"query-service", name}), 1);
}

} // namespace
