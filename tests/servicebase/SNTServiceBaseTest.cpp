// The older service base: its standard options, its installation, and its life under the
// service control dispatcher in this process.
#include <stdexcept>

#include "platform/WinThread.h"
#include "servicebase/ServiceBaseFixture.h"
#include "support/ModulePaths.h"

namespace {

using KrelStd::SNTServiceBase;
using Codes = std::vector<std::wstring>;

// The options the service reads, and its entry in the service database.
using ServiceBaseOptionsTest = ServiceBaseTest;

TEST_F(ServiceBaseOptionsTest, WithoutAnArgumentNothingIsDone) {
    EXPECT_EQ(parse({}), 0);
    EXPECT_EQ(service->IsForeground(), 0);
    EXPECT_TRUE(loggedCodes().empty());
}

TEST_F(ServiceBaseOptionsTest, DashFInAnyCaseAsksForTheForeground) {
    EXPECT_EQ(parse({L"-F"}), 0);
    EXPECT_EQ(service->IsForeground(), 1);
    EXPECT_TRUE(loggedCodes().empty());
}

TEST_F(ServiceBaseOptionsTest, DashVTellsTheVersionAndWhetherTheServiceIsInstalled) {
    EXPECT_EQ(parse({L"-v"}), 1);
    ASSERT_EQ(service->Install(), 1);
    EXPECT_EQ(parse({L"-V"}), 1);
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4016", L"SL4017", L"SL4016", L"SL4017"}));
    EXPECT_EQ(loggedMessages()[0], name + L" Version 3.7\n");
    EXPECT_EQ(loggedMessages()[1], L"The service is not installed\n");
    EXPECT_EQ(loggedMessages()[3], L"The service is currently installed\n");
}

TEST_F(ServiceBaseOptionsTest, DashIInstallsOnceAndThenSaysItIsInstalled) {
    EXPECT_EQ(parse({L"-I"}), 1);
    EXPECT_EQ(service->IsInstalled(), 1);
    EXPECT_EQ(parse({L"-i"}), 1);
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4019", L"SL4018"}));
    EXPECT_EQ(loggedMessages()[1], name + L" is already installed\n");
}

TEST_F(ServiceBaseOptionsTest, DashIThatCannotInstallLogsTheError) {
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    EXPECT_EQ(parse({L"-i"}), 1);
    EXPECT_EQ(loggedCodes(), (Codes{L"SL1006"}));
    EXPECT_EQ(loggedMessages()[0], name + L" failed to install. Error 5\n");
}

TEST_F(ServiceBaseOptionsTest, DashURemovesAnInstalledServiceAndNamesAMissingOne) {
    ASSERT_EQ(service->Install(), 1);
    EXPECT_EQ(parse({L"-U"}), 1);
    EXPECT_EQ(service->IsInstalled(), 0);
    EXPECT_EQ(parse({L"-u"}), 1);
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4022", L"SL4021", L"SL4020"}));
    EXPECT_EQ(loggedMessages()[2], name + L" is not installed\n");
}

TEST_F(ServiceBaseOptionsTest, OnlyTheFirstArgumentIsLookedAt) {
    EXPECT_EQ(parse({L"-x", L"-i"}), 0);
    EXPECT_EQ(parse({L"-f", L"-i"}), 0);
    EXPECT_EQ(service->IsInstalled(), 0);
    EXPECT_EQ(loggedCodes(), (Codes{L"SL1008"}));
    EXPECT_EQ(loggedMessages()[0], L"Invalid Arguments, Exiting\n");
}

TEST_F(ServiceBaseOptionsTest, InstallWritesTheProgramAsAnAutomaticServiceOfItsOwnProcess) {
    service.reset(new RecordingServiceBase(name, std::wstring(L"First\0Second\0", 13)));
    ASSERT_EQ(service->Install(), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            (L"SYSTEM\\CurrentControlSet\\Services\\" + name).c_str(), 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    opened.push_back(key);
    EXPECT_EQ(std::wstring(readString(key, L"ImagePath").c_str()), krel_test::selfPath());
    EXPECT_EQ(std::wstring(readString(key, L"DisplayName").c_str()), name);
    EXPECT_EQ(serviceValueUnits(L"DependOnService"), std::u16string(u"First\0Second\0\0", 14));
    for (const auto& expected : {std::make_pair(L"Type", 0x110u), std::make_pair(L"Start", 2u),
                                 std::make_pair(L"ErrorControl", 1u)}) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        ASSERT_EQ(RegQueryValueExW(key, expected.first, nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&value), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(value, expected.second) << expected.first;
    }
}

TEST_F(ServiceBaseOptionsTest, ALastDependencyWithoutItsNulIsEndedAllTheSame) {
    service.reset(new RecordingServiceBase(name, std::wstring(L"First\0Second", 12)));
    ASSERT_EQ(service->Install(), 1);
    EXPECT_EQ(serviceValueUnits(L"DependOnService"), std::u16string(u"First\0Second\0\0", 14));
}

TEST_F(ServiceBaseOptionsTest, UninstallOfAMissingServiceAnswers0) {
    EXPECT_EQ(service->Uninstall(), 0);
    EXPECT_TRUE(loggedCodes().empty());
}

TEST_F(ServiceBaseOptionsTest, TheStatusTextsAreTheControllers) {
    EXPECT_STREQ(SNTServiceBase::GetStatusStr(1), L"SERVICE_STOPPED");
    EXPECT_STREQ(SNTServiceBase::GetStatusStr(7), L"SERVICE_PAUSED");
    EXPECT_STREQ(SNTServiceBase::GetStatusStr(8), L"Unknown Service State");
}

// The process-wide instance that the dispatcher's callbacks act on.
using ServiceBaseInstanceTest = ServiceBaseTest;

TEST_F(ServiceBaseInstanceTest, TheLatestObjectIsTheInstanceAndACopyIsNot) {
    EXPECT_EQ(SNTServiceBase::_instance.load(), service.get());
    service->running.store(1);
    const SNTServiceBase copy(*service);
    EXPECT_EQ(SNTServiceBase::_instance.load(), service.get());
    EXPECT_EQ(copy.running.load(), 1);
}

TEST_F(ServiceBaseInstanceTest, DestroyingTheInstanceLeavesLateCallbacksNothingToReach) {
    {
        const RecordingServiceBase later(name + L"-later");
        EXPECT_EQ(SNTServiceBase::_instance.load(), &later);
    }
    EXPECT_EQ(SNTServiceBase::_instance.load(), nullptr);
    SNTServiceBase::Handler(SERVICE_CONTROL_STOP);
    SNTServiceBase::ServiceMain(0, nullptr);
    EXPECT_TRUE(loggedCodes().empty());
    EXPECT_TRUE(service->hooks().empty());
}

TEST_F(ServiceBaseInstanceTest, DestroyingAnEarlierObjectKeepsTheLaterInstance) {
    std::unique_ptr<RecordingServiceBase> earlier = std::move(service);
    service.reset(new RecordingServiceBase(name));
    earlier.reset();
    EXPECT_EQ(SNTServiceBase::_instance.load(), service.get());
}

// The service under the dispatcher in this process.
using ServiceBaseRunTest = ServiceBaseTest;

TEST_F(ServiceBaseRunTest, AStopReportsStoppedBeforeTheServiceMainFunctionReportsItAgain) {
    startDispatcher();
    ASSERT_TRUE(runsItsWorker());
    ASSERT_TRUE(workerMoves());
    EXPECT_EQ(control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    endDispatcher();
    EXPECT_NE(started.load(), 0);
    EXPECT_EQ(service->runningInStop, 1) << "OnStop comes before running is cleared";
    EXPECT_EQ(service->statesInStop, (std::vector<DWORD>{2, 4, 2, 4, 3}));
    EXPECT_EQ(service->running.load(), 0);
    EXPECT_EQ(krel_platform::reportedServiceStates(), (std::vector<DWORD>{2, 4, 2, 4, 3, 1, 1}));
    EXPECT_EQ(service->hooks(), (std::vector<std::string>{"OnInit", "OnStop"}));
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4024", L"SL4025", L"SL4026"}));
}

TEST_F(ServiceBaseRunTest, AStopWhoseOnStopThrowsStillEndsTheService) {
    service->duringStop = [] { throw std::runtime_error("cannot stop cleanly"); };
    startDispatcher();
    ASSERT_TRUE(runsItsWorker());
    control(SERVICE_CONTROL_STOP);
    ASSERT_TRUE(hasReported({2, 4, 2, 4, 3, 1, 1})) << "the service main function left its wait";
    endDispatcher();
    EXPECT_EQ(service->running.load(), 0);
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4024", L"SL4025"}));
}

TEST_F(ServiceBaseRunTest, AShutdownStopsTheServiceAndCallsOnShutdownLast) {
    startDispatcher();
    ASSERT_TRUE(runsItsWorker());
    EXPECT_EQ(control(SERVICE_CONTROL_SHUTDOWN), static_cast<DWORD>(ERROR_SUCCESS));
    endDispatcher();
    EXPECT_EQ(service->hooks(), (std::vector<std::string>{"OnInit", "OnStop", "OnShutdown"}));
    EXPECT_EQ(krel_platform::reportedServiceStates(), (std::vector<DWORD>{2, 4, 2, 4, 3, 1, 1}));
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4024", L"SL4031", L"SL4032"}));
}

TEST_F(ServiceBaseRunTest, PauseSuspendsTheWorkerAndContinueResumesIt) {
    startDispatcher();
    ASSERT_TRUE(runsItsWorker());
    ASSERT_TRUE(workerMoves());
    EXPECT_EQ(control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(service->running.load(), 0);
    // Suspended: a resume finds it held once.
    EXPECT_EQ(SuspendThread(service->worker()), 1u);
    EXPECT_EQ(ResumeThread(service->worker()), 2u);
    EXPECT_EQ(control(SERVICE_CONTROL_CONTINUE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(service->running.load(), 1);
    EXPECT_TRUE(workerMoves());
    EXPECT_EQ(control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    endDispatcher();
    EXPECT_EQ(krel_platform::reportedServiceStates(),
              (std::vector<DWORD>{2, 4, 2, 4, 6, 7, 5, 4, 3, 1, 1}));
    EXPECT_EQ(service->hooks(),
              (std::vector<std::string>{"OnInit", "OnPause", "OnContinue", "OnStop"}));
    EXPECT_EQ(loggedCodes(),
              (Codes{L"SL4024", L"SL4027", L"SL4028", L"SL4029", L"SL4025", L"SL4026"}));
}

TEST_F(ServiceBaseRunTest, AnUnhandledUserControlIsAnInvalidRequest) {
    startDispatcher();
    ASSERT_TRUE(runsItsWorker());
    EXPECT_EQ(control(200), static_cast<DWORD>(ERROR_SUCCESS));
    service->userControlResult = 1;
    EXPECT_EQ(control(201), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(100), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    endDispatcher();
    EXPECT_EQ(service->hooks(),
              (std::vector<std::string>{"OnInit", "OnUserControl 200", "OnUserControl 201",
                                        "OnInterrogate", "OnStop"}));
    EXPECT_EQ(loggedCodes(), (Codes{L"SL4024", L"SL4033", L"SL2001", L"SL4033", L"SL4033",
                                    L"SL2001", L"SL4025", L"SL4026"}));
}

TEST_F(ServiceBaseRunTest, AFailedInitLeavesTheErrorAsExitCodeAndStartsNoWorker) {
    service->initResult = 0;
    service->initError = 1234;
    startDispatcher();
    endDispatcher();
    EXPECT_NE(started.load(), 0);
    EXPECT_EQ(service->currentStatus().dwWin32ExitCode, 1234u);
    EXPECT_EQ(service->currentStatus().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(TestWorker::started.load(), 0);
    EXPECT_EQ(service->running.load(), 0);
    EXPECT_EQ(krel_platform::reportedServiceStates(), (std::vector<DWORD>{2, 1, 1}));
    EXPECT_EQ(loggedCodes(), (Codes{L"SL1010"}));
}

TEST_F(ServiceBaseRunTest, AStopBeforeTheWorkerWasMadeActsOnNothing) {
    HANDLE initEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE releaseInit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    service->duringInit = [&] {
        SetEvent(initEntered);
        WaitForSingleObject(releaseInit, 20000);
    };
    startDispatcher();
    ASSERT_EQ(WaitForSingleObject(initEntered, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    SetEvent(releaseInit);
    // The early stop found no stop event: the service runs on until the next one.
    ASSERT_TRUE(hasReported({2, 6, 7, 3, 1, 4, 2, 4}));
    EXPECT_TRUE(workerMoves());
    EXPECT_EQ(control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    endDispatcher();
    EXPECT_EQ(service->hooks(),
              (std::vector<std::string>{"OnInit", "OnPause", "OnStop", "OnStop"}));
    CloseHandle(initEntered);
    CloseHandle(releaseInit);
}

} // namespace
