// The dispatcher's answers to the calls a service main function makes, in this process.
#include "ControllerFixture.h"

namespace {

struct MainResults {
    DWORD otherName = 0;
    DWORD badState = 0;
    DWORD nested = 0;
    BOOL stopped = FALSE;
    std::wstring argument;
};

MainResults results;

void recordingMain(DWORD argc, LPWSTR* argv) {
    results.argument = argc == 1 ? argv[0] : L"";
    results.otherName =
        RegisterServiceCtrlHandlerW(L"SomeoneElse", [](DWORD) {}) == nullptr ? GetLastError() : 0;
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerW(argv[0], [](DWORD) {});
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 8, 0, 0, 0, 0, 0};
    results.badState = SetServiceStatus(handle, &status) ? 0 : GetLastError();
    SERVICE_TABLE_ENTRYW table[] = {{argv[0], recordingMain}, {nullptr, nullptr}};
    results.nested = StartServiceCtrlDispatcherW(table) ? 0 : GetLastError();
    status.dwCurrentState = SERVICE_STOPPED;
    results.stopped = SetServiceStatus(handle, &status);
}

using ServiceDispatcherTest = ControllerTest;

TEST_F(ServiceDispatcherTest, TheServiceMainFunctionGetsItsNameAndTheManagersRefusals) {
    results = MainResults();
    krel_platform::setServiceMarkerForTesting(name.c_str());
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"Other"), recordingMain},
                                    {&name[0], recordingMain},
                                    {nullptr, nullptr}};
    ASSERT_TRUE(StartServiceCtrlDispatcherW(table));
    EXPECT_EQ(results.argument, name);
    EXPECT_EQ(results.otherName, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(results.badState, static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(results.nested, static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_TRUE(results.stopped);
    EXPECT_EQ(krel_platform::reportedServiceStates(), (std::vector<DWORD>{SERVICE_STOPPED}));
}

TEST_F(ServiceDispatcherTest, ANameMissingFromTheTableIsNoService) {
    krel_platform::setServiceMarkerForTesting(L"NotInTheTable");
    SERVICE_TABLE_ENTRYW table[] = {{&name[0], recordingMain}, {nullptr, nullptr}};
    EXPECT_FALSE(StartServiceCtrlDispatcherW(table));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

} // namespace
