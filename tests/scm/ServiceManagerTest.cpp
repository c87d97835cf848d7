// The service database in the machine hive, and services run as processes of their own that
// answer controls and queries on their sockets.
#include "ServiceManagerFixture.h"

namespace {

const std::wstring SERVICES = L"SYSTEM\\CurrentControlSet\\Services\\";

DWORD lastErrorOf(BOOL result) {
    return result ? ERROR_SUCCESS : GetLastError();
}

TEST_F(ServiceManagerTest, CreateWritesTheServiceKeyOfTheMachineHive) {
    const std::wstring name = uniqueName();
    SC_HANDLE service =
        CreateServiceW(manager, name.c_str(), L"Shown", SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       L"/bin/prog -x", nullptr, nullptr, L"One\0Two\0", nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    services.push_back(service);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (SERVICES + name).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    opened.push_back(key);
    EXPECT_EQ(readString(key, L"ImagePath"), L"/bin/prog -x");
    EXPECT_EQ(readString(key, L"DisplayName"), L"Shown");
    EXPECT_EQ(readString(key, L"ObjectName"), L"LocalSystem");
    BYTE list[64] = {};
    DWORD size = sizeof list;
    ASSERT_EQ(RegQueryValueExW(key, L"DependOnService", nullptr, nullptr, list, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(
        std::vector<BYTE>(list, list + size),
        (std::vector<BYTE>{'O', 0, 'n', 0, 'e', 0, 0, 0, 'T', 0, 'w', 0, 'o', 0, 0, 0, 0, 0}));
}

TEST_F(ServiceManagerTest, CreatingAnExistingServiceFails) {
    const std::wstring name = uniqueName();
    create(name, L"/bin/true");
    EXPECT_EQ(CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             L"/bin/false", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
}

TEST_F(ServiceManagerTest, AKeyWithoutImagePathIsNoService) {
    createKey(SERVICES + L"EventLogLike", KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(OpenServiceW(manager, L"EventLogLike", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceManagerTest, NamesWithSeparatorsAreInvalid) {
    EXPECT_EQ(OpenServiceW(manager, L"a\\b", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(RegisterServiceCtrlHandlerW(L"a/b", [](DWORD) {}), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(ServiceManagerTest, OpenAfterDeleteFails) {
    const std::wstring name = uniqueName();
    ASSERT_TRUE(DeleteService(create(name, L"/bin/true")));
    EXPECT_EQ(OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceManagerTest, AllAccessNeedsAWritableMachineHive) {
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE reader = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_NE(reader, nullptr);
    CloseServiceHandle(reader);
}

TEST_F(ServiceManagerTest, AProgramStartedFromAConsoleGetsNoDispatcher) {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"Console"), [](DWORD, LPWSTR*) {}},
                                    {nullptr, nullptr}};
    EXPECT_EQ(lastErrorOf(StartServiceCtrlDispatcherW(table)),
              static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    SERVICE_TABLE_ENTRYW empty[] = {{nullptr, nullptr}};
    EXPECT_EQ(lastErrorOf(StartServiceCtrlDispatcherW(empty)),
              static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(ServiceManagerTest, StatusOfAnUnknownHandleIsRefused) {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
    EXPECT_EQ(lastErrorOf(SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(1234), &status)),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ServiceManagerTest, AServiceThatIsNotRunningIsStopped) {
    SC_HANDLE service = create(uniqueName(), L"/bin/true");
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(lastErrorOf(ControlService(service, SERVICE_CONTROL_STOP, &status)),
              static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
}

TEST_F(ServiceManagerTest, AProgramEndingBeforeItsDispatcherListensFailsToStart) {
    SC_HANDLE service = create(uniqueName(), L"/bin/true");
    EXPECT_EQ(lastErrorOf(StartServiceW(service, 0, nullptr)),
              static_cast<DWORD>(ERROR_PROCESS_ABORTED));
}

TEST_F(ServiceManagerTest, AStartedServiceRunsInAProcessOfItsOwn) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    startService(service);

    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_NE(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_NE(recordedPid(), static_cast<DWORD>(getpid()));
    EXPECT_EQ(lastErrorOf(StartServiceW(service, 0, nullptr)),
              static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
}

TEST_F(ServiceManagerTest, StopEndsTheServiceProcess) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    startService(service);
    SERVICE_STATUS status{};
    // The stop is accepted once the service reports that it runs.
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING &&
           WaitForSingleObject(processes.back(), 1) == WAIT_TIMEOUT) {
    }

    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
    // The reply follows the handler, which reported STOP_PENDING; the service main function
    // may have reported STOPPED in the meantime.
    EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
                status.dwCurrentState == SERVICE_STOPPED)
        << status.dwCurrentState;
    ASSERT_TRUE(processEnded());
    EXPECT_EQ(recordLines(),
              (std::vector<std::string>{"pid " + std::to_string(recordedPid()),
                                        "main " + krel_platform::wideToUtf8(name), "marker gone",
                                        "registry inherited", "control 1", "stopped", "end"}));
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
}

TEST_F(ServiceManagerTest, CallersMayNotSendTheSystemsControls) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    startService(service);
    SERVICE_STATUS status{};
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING &&
           WaitForSingleObject(processes.back(), 1) == WAIT_TIMEOUT) {
    }

    EXPECT_EQ(lastErrorOf(ControlService(service, SERVICE_CONTROL_PAUSE, &status)),
              static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
    EXPECT_EQ(lastErrorOf(ControlService(service, SERVICE_CONTROL_SHUTDOWN, &status)),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(lastErrorOf(ControlService(service, 6, &status)),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(ControlService(service, 128, &status));
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_TRUE(krel_platform::controlServiceAsSystem(service, SERVICE_CONTROL_PAUSE, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_PAUSED);
}

TEST_F(ServiceManagerTest, DeletingARunningServiceLetsItRunOn) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    startService(service);
    ASSERT_TRUE(DeleteService(service));

    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_NE(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS), nullptr);
}

} // namespace
