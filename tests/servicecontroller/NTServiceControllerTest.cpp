// The controller under a dispatcher in this process: the states it reports, the hooks it
// calls and on which threads.
#include "service/NTServiceController.h"

#include <algorithm>
#include <csignal>

#include "ControllerFixture.h"
#include "platform/WinSignal.h"
#include "windows/ServiceStateTexts.h"

namespace {

using States = std::vector<DWORD>;
using Steps = std::vector<std::string>;

TEST_F(ControllerTest, AStopReportsItsStatesAndStartReturnsAfterRun) {
    startDispatcher();
    ASSERT_TRUE(reaches(SERVICE_RUNNING));
    ASSERT_EQ(krel_std::Concurrency::waitForSingleObject(service->runEntered, 20000), 0);

    EXPECT_EQ(control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
    endDispatcher();
    EXPECT_FALSE(started);
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 4, 3, 1}));
    EXPECT_EQ(service->onStopThread(), dispatcherThread);
    EXPECT_EQ(service->steps(), (Steps{"onStart", "run", "onStop", "run end", "start returned"}));
}

TEST_F(ControllerTest, StopWithoutReportLeavesTheLastStateStanding) {
    startDispatcher();
    ASSERT_TRUE(reaches(SERVICE_RUNNING));

    service->stop(false);
    endDispatcher();
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 4}));
    EXPECT_EQ(service->steps().back(), "start returned");
}

TEST_F(ControllerTest, AShutdownReportsStopPendingEvenAfterStopWithoutReport) {
    service->holdFirstStop = true;
    startDispatcher();
    ASSERT_TRUE(reaches(SERVICE_RUNNING));
    std::thread stopper([this] { service->stop(false); });
    ASSERT_EQ(krel_std::Concurrency::waitForSingleObject(service->stopEntered, 20000), 0);

    EXPECT_EQ(control(SERVICE_CONTROL_SHUTDOWN), static_cast<DWORD>(ERROR_SUCCESS));
    service->releaseStop.signal();
    stopper.join();
    endDispatcher();
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 4, 3}));
}

TEST_F(ControllerTest, PauseAndContinueAreReportedButNeverReachTheService) {
    startDispatcher();
    ASSERT_TRUE(reaches(SERVICE_RUNNING));
    ASSERT_EQ(krel_std::Concurrency::waitForSingleObject(service->runEntered, 20000), 0);

    EXPECT_EQ(control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(SERVICE_CONTROL_CONTINUE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(control(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 4, 6, 7, 5, 4}));
    EXPECT_EQ(service->steps(), (Steps{"onStart", "run"}));
}

TEST_F(ControllerTest, AnUnknownCodeIsLoggedAndChangesNothing) {
    startDispatcher();
    ASSERT_TRUE(reaches(SERVICE_RUNNING));

    EXPECT_EQ(control(128), static_cast<DWORD>(ERROR_SUCCESS));
    std::vector<std::wstring> codes = loggedCodes();
    // The service main function logs its SL4007 after reporting RUNNING, on its own thread:
    // it may come before, between or after the handler's codes.
    codes.erase(std::remove(codes.begin(), codes.end(), L"SL4007"), codes.end());
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(std::vector<std::wstring>(codes.end() - 2, codes.end()),
              (std::vector<std::wstring>{L"SL4015", L"SL2000"}));
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 4}));
}

TEST_F(ControllerTest, AThrowingOnStartReportsStoppedAndEndsTheDispatcher) {
    service->throwOnStart = true;
    startDispatcher();
    endDispatcher();
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 1}));
    EXPECT_EQ(service->steps(), (Steps{"onStart", "start returned"}));
}

TEST_F(ControllerTest, ADestroyedControllerEndsTheWaitAndIgnoresLateControls) {
    std::unique_ptr<krel_std::NTServiceController> controller(
        new krel_std::NTServiceController(service.get()));
    krel_platform::setServiceMarkerForTesting(name.c_str());
    dispatcher = std::thread([&controller] { controller->start(); });
    ASSERT_TRUE(reaches(SERVICE_RUNNING));

    controller.reset();
    service->stop(true);
    endDispatcher();
    EXPECT_EQ(krel_platform::reportedServiceStates(), (States{2, 4}));
    EXPECT_EQ(service->steps(), (Steps{"onStart", "run", "run end"}));
}

TEST_F(ControllerTest, AFailedHandlerRegistrationIsLoggedAndReportsNothing) {
    RecordingService badlyNamed(L"bad/name");
    krel_platform::setServiceMarkerForTesting(L"bad/name");
    EXPECT_FALSE(badlyNamed.start());
    EXPECT_EQ(loggedCodes(), (std::vector<std::wstring>{L"SL1005"}));
    EXPECT_TRUE(krel_platform::reportedServiceStates().empty());
    EXPECT_TRUE(badlyNamed.steps().empty());
}

TEST_F(ControllerTest, AControllerMadeForAForegroundServiceStopsItOnSigterm) {
    service->parse({L"-F"});
    krel_std::NTServiceController controller(service.get());
    dispatcher = std::thread([this] {
        started = service->start();
        service->record("start returned");
    });
    const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
    while (service->steps().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_EQ(service->steps(), (Steps{"onStart", "run"}));

    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    endDispatcher();
    EXPECT_TRUE(started);
    EXPECT_EQ(service->steps(), (Steps{"onStart", "run", "onStop", "run end", "start returned"}));
    EXPECT_TRUE(krel_platform::reportedServiceStates().empty());
}

TEST_F(ControllerTest, AControllerMadeForAForegroundServiceStopsItOnCtrlBreak) {
    service->parse({L"-F"});
    krel_std::NTServiceController controller(service.get());
    dispatcher = std::thread([this] {
        started = service->start();
        service->record("start returned");
    });
    ASSERT_EQ(krel_std::Concurrency::waitForSingleObject(service->runEntered, 20000), 0);

    ASSERT_EQ(kill(getpid(), SIGBREAK), 0);
    endDispatcher();
    EXPECT_EQ(service->steps(), (Steps{"onStart", "run", "onStop", "run end", "start returned"}));
}

TEST_F(ControllerTest, AControllerMadeForAForegroundServiceLeavesTheTerminalSignalsAlone) {
    krel_platform::signal(SIGTTIN, SIG_IGN);
    krel_platform::signal(SIGTTOU, SIG_IGN);
    service->parse({L"-F"});
    {
        krel_std::NTServiceController controller(service.get());
        EXPECT_EQ(krel_platform::signalFunction(SIGTTIN), SIG_IGN);
        EXPECT_EQ(krel_platform::signalFunction(SIGTTOU), SIG_IGN);
        EXPECT_NE(krel_platform::signalFunction(SIGABRT), SIG_DFL);
    }
    krel_platform::signal(SIGTTIN, SIG_DFL);
    krel_platform::signal(SIGTTOU, SIG_DFL);
}

TEST_F(ControllerTest, AControllerDestroyedDuringItsSignalHandlerWaitsForTheHandler) {
    service->parse({L"-F"});
    service->holdFirstStop = true;
    std::unique_ptr<krel_std::NTServiceController> controller(
        new krel_std::NTServiceController(service.get()));
    dispatcher = std::thread([this] {
        started = service->start();
        service->record("start returned");
    });
    const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
    while (service->steps().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_EQ(service->steps(), (Steps{"onStart", "run"}));
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    ASSERT_EQ(krel_std::Concurrency::waitForSingleObject(service->stopEntered, 20000), 0);

    // The handler is held in onStop; the controller goes meanwhile and must not be freed
    // under it.
    std::thread destroyer([&controller] { controller.reset(); });
    service->releaseStop.signal();
    destroyer.join();
    endDispatcher();
    EXPECT_EQ(service->steps(), (Steps{"onStart", "run", "onStop", "run end", "start returned"}));
}

TEST_F(ControllerTest, AProgramStartedFromAConsoleIsNoService) {
    krel_std::NTServiceController controller(service.get());
    try {
        controller.start();
        FAIL() << "no exception";
    } catch (const krel_std::KrelIOException& exception) {
        EXPECT_EQ(exception.getErrNum(), 1063);
        EXPECT_EQ(exception.getMessage(),
                  L"Failed to start service control dispatcher: The service is not being run as "
                  L"a service (possible being run via the console?).");
    }
}

TEST(ServiceStateTextsTest, StatesAndControlCodesHaveTheirNames) {
    EXPECT_STREQ(krel_std_internal::serviceStateText(1), L"SERVICE_STOPPED");
    EXPECT_STREQ(krel_std_internal::serviceStateText(7), L"SERVICE_PAUSED");
    EXPECT_STREQ(krel_std_internal::serviceStateText(0), L"Unknown Service State");
    EXPECT_STREQ(krel_std_internal::controlCodeText(14), L"SERVICE_CONTROL_SESSIONCHANGE");
    EXPECT_STREQ(krel_std_internal::controlCodeText(15), L"Unknown Service Control Code");
}

TEST(ServiceControllerTest, ANullServiceIsRefused) {
    EXPECT_THROW(krel_std::NTServiceController(nullptr), krel_std::KrelIllegalArgumentException);
}

} // namespace
