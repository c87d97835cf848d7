// krel-admin's service commands, used as a new user would.
#include "ServiceManagerFixture.h"

namespace {

using ServiceToolTest = ServiceManagerTest;

TEST_F(ServiceToolTest, CreateStartPauseContinueStopAndDelete) {
    const std::string name = krel_platform::wideToUtf8(uniqueName());
    const std::wstring wideName = krel_platform::utf8ToWide(name);
    ASSERT_EQ(runTool({"create-service", name,
                       helperPath() + " " + recordFile() + " " + name + " pause"}),
              0);
    std::string output;
    ASSERT_EQ(runTool({"start-service", name}, &output), 0);
    EXPECT_NE(output.find("service: " + name + "\n"), std::string::npos);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, recordedPid());
    ASSERT_NE(process, nullptr);
    processes.push_back(process);
    while (runTool({"query-service", name}, &output) == 0 &&
           output.find("state: 4 RUNNING") == std::string::npos &&
           WaitForSingleObject(process, 1) == WAIT_TIMEOUT) {
    }

    EXPECT_EQ(runTool({"start-service", name}), 1);
    ASSERT_EQ(runTool({"control-service", name, "pause"}, &output), 0);
    EXPECT_NE(output.find("state: 7 PAUSED"), std::string::npos);
    ASSERT_EQ(runTool({"control-service", name, "continue"}, &output), 0);
    EXPECT_NE(output.find("state: 4 RUNNING"), std::string::npos);
    ASSERT_EQ(runTool({"control-service", name, "stop"}, &output), 0);
    // The reply follows the handler, which reported STOP_PENDING; the service main function
    // may have reported STOPPED in the meantime.
    EXPECT_TRUE(output.find("state: 3 STOP_PENDING") != std::string::npos ||
                output.find("state: 1 STOPPED") != std::string::npos)
        << output;
    ASSERT_TRUE(processEnded());
    ASSERT_EQ(runTool({"query-service", name}, &output), 0);
    EXPECT_NE(output.find("state: 1 STOPPED"), std::string::npos);
    EXPECT_EQ(runTool({"control-service", name, "stop"}), 1);
    ASSERT_EQ(runTool({"delete-service", name}), 0);
    EXPECT_EQ(runTool({"query-service", name}), 1);
}

TEST_F(ServiceToolTest, WrongUsageIsRefused) {
    EXPECT_EQ(runTool({"control-service", "Any", "sideways"}), 2);
    EXPECT_EQ(runTool({"create-service", "Any"}), 2);
    EXPECT_EQ(runTool({"create-service", "Any", "/bin/true", "--start", "later"}), 2);
}

} // namespace
