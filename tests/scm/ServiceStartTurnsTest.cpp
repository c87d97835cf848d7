// Starting a service whose last instance has just stopped or died: a restart right after STOPPED
// waits for the ending instance and succeeds, an instance that answers STOPPED is never taken
// for a running one, and of starts at the same time exactly one starts the program.
#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <utility>
#include <vector>

#include "ServiceManagerFixture.h"
#include "support/Eventually.h"

namespace {

// Set when the instance run in this process may end; it ends by itself after the limit.
HANDLE lingerEnds = nullptr;
const DWORD LINGER_LIMIT_MS = 20000;

// A service main function that reports STOPPED and then keeps its instance (and so its channel)
// until it is let go.
void stoppedButLingering(DWORD, LPWSTR* argv) {
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerW(argv[0], [](DWORD) {});
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    SetServiceStatus(handle, &status);
    WaitForSingleObject(lingerEnds, LINGER_LIMIT_MS);
}

class ServiceStartTurnsTest : public ServiceManagerTest {
protected:
    bool reaches(SC_HANDLE service, DWORD state) {
        return krel_test::becomesTrue(
            [&] {
                SERVICE_STATUS status{};
                return QueryServiceStatus(service, &status) && status.dwCurrentState == state;
            },
            std::chrono::milliseconds(PATIENCE_MS));
    }

    // A running service whose process was then killed (its channel's socket file left behind).
    SC_HANDLE killedService(const std::wstring& name) {
        SC_HANDLE service = create(name, helperCommand(name));
        startService(service);
        EXPECT_TRUE(reaches(service, SERVICE_RUNNING));
        EXPECT_EQ(kill(static_cast<pid_t>(recordedPid()), SIGKILL), 0);
        EXPECT_TRUE(processEnded());
        return service;
    }

    // Starts the service from two threads at once; the error each start ended with, sorted.
    static std::vector<DWORD> twoStartsAtOnce(SC_HANDLE service) {
        std::atomic<int> ready(0);
        std::vector<DWORD> errors(2, ERROR_SUCCESS);
        std::vector<std::thread> starters;
        for (DWORD& error : errors) {
            starters.emplace_back([&ready, &error, service] {
                ++ready;
                while (ready.load() < 2) {
                    std::this_thread::yield();
                }
                error = StartServiceW(service, 0, nullptr) ? ERROR_SUCCESS : GetLastError();
            });
        }
        for (std::thread& starter : starters) {
            starter.join();
        }
        std::sort(errors.begin(), errors.end());
        return errors;
    }

    // Runs an instance of the service in this process that has reported STOPPED but lingers.
    std::thread lingeringInstance(std::wstring& name) {
        krel_platform::clearReportedServiceStates();
        krel_platform::setServiceMarkerForTesting(name.c_str());
        std::thread instance([&name] {
            SERVICE_TABLE_ENTRYW table[] = {{&name[0], stoppedButLingering}, {nullptr, nullptr}};
            StartServiceCtrlDispatcherW(table);
        });
        EXPECT_TRUE(
            krel_test::becomesTrue([] { return !krel_platform::reportedServiceStates().empty(); },
                                   std::chrono::milliseconds(PATIENCE_MS)));
        return instance;
    }

    // Runs krel-admin start-service in two processes at once; the exit code and the errors each
    // printed, sorted by exit code.
    std::vector<std::pair<int, std::string>> twoToolStartsAtOnce(const std::wstring& service) {
        const std::string name = krel_platform::wideToUtf8(service);
        std::vector<std::pair<pid_t, std::string>> tools;
        for (int index = 0; index < 2; ++index) {
            const std::string errorPath = (root / ("start-" + std::to_string(index))).string();
            tools.emplace_back(
                spawn({KREL_ADMIN_TOOL, "start-service", name}, nullptr, errorPath.c_str()),
                errorPath);
        }
        std::vector<std::pair<int, std::string>> results;
        for (const auto& tool : tools) {
            int status = 0;
            waitpid(tool.first, &status, 0);
            std::ifstream in(tool.second);
            results.emplace_back(
                WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        }
        std::sort(results.begin(), results.end());
        return results;
    }

    size_t launches() const {
        const std::vector<std::string> lines = recordLines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const auto& line) {
            return line.compare(0, 4, "pid ") == 0;
        }));
    }
};

// Enough cycles that an instance still ending after STOPPED is met many times.
const int RESTART_CYCLES = 100;

TEST_F(ServiceStartTurnsTest, AServiceIsStartedAgainAsSoonAsItReportsStopped) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    for (int cycle = 0; cycle < RESTART_CYCLES; ++cycle) {
        ASSERT_TRUE(StartServiceW(service, 0, nullptr))
            << "cycle " << cycle << ": " << GetLastError();
        ASSERT_TRUE(reaches(service, SERVICE_RUNNING)) << "cycle " << cycle;
        SERVICE_STATUS status{};
        ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
        ASSERT_TRUE(reaches(service, SERVICE_STOPPED)) << "cycle " << cycle;
    }
}

TEST_F(ServiceStartTurnsTest, OfTwoStartsAtOnceOneSucceedsAndTheOtherFindsTheServiceRunning) {
    SC_HANDLE service = killedService(uniqueName());

    const std::vector<DWORD> errors = twoStartsAtOnce(service);

    EXPECT_EQ(errors, (std::vector<DWORD>{ERROR_SUCCESS, ERROR_SERVICE_ALREADY_RUNNING}));
    EXPECT_TRUE(reaches(service, SERVICE_RUNNING));
}

TEST_F(ServiceStartTurnsTest, TwoStartsAtOnceLaunchTheProgramOnce) {
    SC_HANDLE service = killedService(uniqueName());
    ASSERT_EQ(launches(), 1u);

    twoStartsAtOnce(service);

    EXPECT_EQ(launches(), 2u);
}

TEST_F(ServiceStartTurnsTest, OfTwoToolStartsAtOnceOneSucceedsAndTheOtherFailsWithAlreadyRunning) {
    const std::wstring name = uniqueName();
    killedService(name);

    const std::vector<std::pair<int, std::string>> results = twoToolStartsAtOnce(name);

    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].first, 0) << results[0].second;
    EXPECT_EQ(results[1].first, 1);
    EXPECT_NE(results[1].second.find("(1056)"), std::string::npos) << results[1].second;
}

TEST_F(ServiceStartTurnsTest, AnInstanceThatReportedStoppedButLingersIsWaitedForNotCalledRunning) {
    std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    lingerEnds = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread instance = lingeringInstance(name);

    krel_platform::setServiceStartTimeoutForTesting(1000);
    const BOOL started = StartServiceW(service, 0, nullptr);
    const DWORD error = GetLastError();
    krel_platform::setServiceStartTimeoutForTesting(0);
    SetEvent(lingerEnds);
    instance.join();
    CloseHandle(lingerEnds);

    EXPECT_FALSE(started);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_EQ(launches(), 0u);
}

} // namespace
