// A service on the application frame, installed and driven with krel-admin as a new user
// would, running in a process of its own under its controller.
#include "ServiceManagerFixture.h"

namespace {

using ServiceEndToEndTest = ServiceManagerTest;

TEST_F(ServiceEndToEndTest, AFrameServiceRunsPausesContinuesAndStops) {
    const std::string name = krel_platform::wideToUtf8(uniqueName());
    ASSERT_EQ(runTool({"create-service", name, framePath() + " " + recordFile() + " " + name}), 0);
    std::string output;
    ASSERT_EQ(runTool({"start-service", name}), 0);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, recordedPid());
    ASSERT_NE(process, nullptr);
    processes.push_back(process);
    while (runTool({"query-service", name}, &output) == 0 &&
           output.find("state: 4 RUNNING") == std::string::npos &&
           WaitForSingleObject(process, 1) == WAIT_TIMEOUT) {
    }
    EXPECT_NE(output.find("state: 4 RUNNING"), std::string::npos);
    EXPECT_NE(recordedPid(), static_cast<DWORD>(getpid()));
    // run() records itself on its own thread, maybe just after RUNNING was reported.
    ASSERT_EQ(recordOfAtLeast(3).size(), 3u);

    SC_HANDLE service =
        OpenServiceW(manager, krel_platform::utf8ToWide(name).c_str(), SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    SERVICE_STATUS status{};
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_PAUSE, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
    CloseServiceHandle(service);
    ASSERT_EQ(runTool({"control-service", name, "pause", "--as-system"}, &output), 0);
    EXPECT_NE(output.find("state: 7 PAUSED"), std::string::npos);
    ASSERT_EQ(runTool({"control-service", name, "continue", "--as-system"}, &output), 0);
    EXPECT_NE(output.find("state: 4 RUNNING"), std::string::npos);
    EXPECT_EQ(recordLines().size(), 3u); // pid, onStart, run: run goes on

    EXPECT_EQ(runTool({"start-service", name}), 1);
    ASSERT_EQ(runTool({"control-service", name, "stop"}, &output), 0);
    // The reply follows the handler, which reported STOP_PENDING; the service main function
    // may have reported STOPPED in the meantime.
    EXPECT_TRUE(output.find("state: 3 STOP_PENDING") != std::string::npos ||
                output.find("state: 1 STOPPED") != std::string::npos)
        << output;
    ASSERT_TRUE(processEnded());
    EXPECT_EQ(recordLines(),
              (std::vector<std::string>{"pid " + std::to_string(recordedPid()), "onStart", "run",
                                        "onStop", "run end", "start false"}));
    EXPECT_EQ(runTool({"control-service", name, "stop"}), 1);
    ASSERT_EQ(runTool({"delete-service", name}), 0);
    EXPECT_EQ(runTool({"query-service", name}), 1);
}

TEST_F(ServiceEndToEndTest, TheSystemsCodesAnswerAsWindowsDoes) {
    const std::wstring name = uniqueName();
    SC_HANDLE service =
        create(name, krel_platform::utf8ToWide(framePath() + " " + recordFile() + " ") + name);
    EXPECT_EQ(OpenServiceW(manager, (name + L"x").c_str(), SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    SERVICE_STATUS status{};
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    startService(service);
    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
}

} // namespace
