// Who can reach a running service's channel, and what its clients can rely on: only the
// service's account answers, no client holds the channel, every name has a channel of its own,
// and a query is answered whatever the control handler is doing.
#include "platform/ServiceChannel.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ServiceManagerFixture.h"
#include "platform/UnixChannel.h"
#include "support/Eventually.h"

namespace {

const uid_t NOBODY = 65534;

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The record a service answers with: an error number and its status.
struct Reply {
    uint32_t error;
    SERVICE_STATUS status;
};

// A process of another account on a service's channel: a forked child that drops to nobody
// and then serves every address a service of that name could be reached at, answering every
// request with RUNNING (or, idle, connects to them and sends nothing).
class ForeignProcess {
public:
    ~ForeignProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // Serves the channels of the service name. The socket file is bound while still root (as
    // a file left in the directory would be) and listened on as nobody, so that its peer
    // credentials are nobody's.
    bool squat(const std::wstring& name) {
        const int directory = channelDirectory();
        const int file = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un fileAddress;
        socklen_t fileLength = 0;
        if (directory < 0 || file < 0 ||
            !krel_platform::socketAddress(
                krel_platform::entryPath(directory, krel_platform::serviceChannelName(name)),
                fileAddress, fileLength) ||
            bind(file, reinterpret_cast<sockaddr*>(&fileAddress), fileLength) != 0) {
            return false;
        }
        sockaddr_un abstractAddress;
        const socklen_t abstractLength = abstractAddressOf(name, abstractAddress);
        const bool started = run([=] {
            const int abstract = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
            bind(abstract, reinterpret_cast<const sockaddr*>(&abstractAddress), abstractLength);
            listen(abstract, 16);
            listen(file, 16);
            ready();
            answerForever(file, abstract);
        });
        close(file);
        close(directory);
        return started;
    }

    // Connects as nobody to every address of the service name and sends nothing.
    bool idleOn(const std::wstring& name) {
        const int directory = channelDirectory();
        sockaddr_un fileAddress;
        socklen_t fileLength = 0;
        if (directory < 0 ||
            !krel_platform::socketAddress(
                krel_platform::entryPath(directory, krel_platform::serviceChannelName(name)),
                fileAddress, fileLength)) {
            return false;
        }
        sockaddr_un abstractAddress;
        const socklen_t abstractLength = abstractAddressOf(name, abstractAddress);
        const bool started = run([=] {
            const int file = socket(AF_UNIX, SOCK_SEQPACKET, 0);
            connect(file, reinterpret_cast<const sockaddr*>(&fileAddress), fileLength);
            const int abstract = socket(AF_UNIX, SOCK_SEQPACKET, 0);
            connect(abstract, reinterpret_cast<const sockaddr*>(&abstractAddress), abstractLength);
            ready();
            for (;;) {
                pause();
            }
        });
        close(directory);
        return started;
    }

private:
    static int channelDirectory() {
        return krel_platform::openPrivateDirectory(
            krel_platform::registryHiveDirectory(HKEY_LOCAL_MACHINE) + "/services", geteuid(),
            true);
    }

    // The address services had before their channels became files.
    static socklen_t abstractAddressOf(const std::wstring& name, sockaddr_un& address) {
        address = sockaddr_un{};
        address.sun_family = AF_UNIX;
        const std::string path = "krel-service/" + krel_platform::wideToUtf8(name);
        const size_t length = std::min(path.size(), sizeof(address.sun_path) - 1);
        path.copy(address.sun_path + 1, length);
        return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    }

    static bool becomeNobody() {
        return setgroups(0, nullptr) == 0 && setresgid(NOBODY, NOBODY, NOBODY) == 0 &&
               setresuid(NOBODY, NOBODY, NOBODY) == 0;
    }

    static void answerForever(int first, int second) {
        for (;;) {
            pollfd listeners[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
            poll(listeners, 2, -1);
            for (const pollfd& listener : listeners) {
                if (listener.revents == 0) {
                    continue;
                }
                const int connection = accept(listener.fd, nullptr, nullptr);
                uint32_t request[2];
                if (connection >= 0 && recv(connection, request, sizeof(request), 0) > 0) {
                    const Reply running{0,
                                        {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING,
                                         SERVICE_ACCEPT_STOP, 0, 0, 0, 0}};
                    send(connection, &running, sizeof(running), MSG_NOSIGNAL);
                }
                close(connection);
            }
        }
    }

    // Runs the work in a child that has become nobody; true once it is under way.
    template <typename Work> bool run(Work work) {
        int channel[2];
        if (pipe2(channel, O_CLOEXEC) != 0) {
            return false;
        }
        pid = fork();
        if (pid == 0) {
            close(channel[0]);
            readyDescriptor = channel[1];
            if (!becomeNobody()) {
                _exit(1);
            }
            work();
            _exit(0);
        }
        close(channel[1]);
        char byte = 0;
        const bool started = pid > 0 && read(channel[0], &byte, 1) == 1;
        close(channel[0]);
        return started;
    }

    static void ready() {
        const char byte = 1;
        (void)!write(readyDescriptor, &byte, 1);
    }

    static int readyDescriptor;
    pid_t pid = -1;
};

int ForeignProcess::readyDescriptor = -1;

class ServiceChannelTest : public ServiceManagerTest {
protected:
    // Starts the helper service and waits until it reports RUNNING.
    SC_HANDLE running(const std::wstring& name, const std::string& mode = "") {
        SC_HANDLE service = create(name, helperCommand(name, mode));
        startService(service);
        EXPECT_TRUE(reaches(service, SERVICE_RUNNING));
        return service;
    }

    bool reaches(SC_HANDLE service, DWORD state) {
        return krel_test::becomesTrue(
            [&] {
                SERVICE_STATUS status{};
                return QueryServiceStatus(service, &status) && status.dwCurrentState == state;
            },
            std::chrono::milliseconds(PATIENCE_MS));
    }

    static DWORD stateOf(SC_HANDLE service) {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
    }

    // How long a query of the service takes.
    static long long queryMilliseconds(SC_HANDLE service) {
        const auto start = Clock::now();
        SERVICE_STATUS status{};
        EXPECT_TRUE(QueryServiceStatus(service, &status)) << GetLastError();
        return millisecondsSince(start);
    }
};

#define SKIP_UNLESS_ROOT()                                                                         \
    if (geteuid() != 0) {                                                                          \
        GTEST_SKIP() << "a process of another account needs root to change its uid";               \
    }

TEST_F(ServiceChannelTest, AnotherAccountOnAStoppedServicesChannelCannotStopItsStart) {
    SKIP_UNLESS_ROOT();
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    ForeignProcess squatter;
    ASSERT_TRUE(squatter.squat(name));

    startService(service);
    EXPECT_TRUE(reaches(service, SERVICE_RUNNING));
    EXPECT_NE(recordedPid(), 0u);
}

TEST_F(ServiceChannelTest, AnotherAccountOnAStoppedServicesChannelAnswersNoQueryAndNoStop) {
    SKIP_UNLESS_ROOT();
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    ForeignProcess squatter;
    ASSERT_TRUE(squatter.squat(name));

    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
}

TEST_F(ServiceChannelTest, AStopReachesTheRealServiceAfterAnotherAccountSquatted) {
    SKIP_UNLESS_ROOT();
    const std::wstring name = uniqueName();
    SC_HANDLE service = create(name, helperCommand(name));
    ForeignProcess squatter;
    ASSERT_TRUE(squatter.squat(name));
    startService(service);
    ASSERT_TRUE(reaches(service, SERVICE_RUNNING));

    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
    ASSERT_TRUE(processEnded());
    EXPECT_EQ(recordOfAtLeast(5)[4], "control 1");
    EXPECT_EQ(stateOf(service), SERVICE_STOPPED);
}

TEST_F(ServiceChannelTest, AnIdleConnectionOfAnotherAccountDelaysNoQuery) {
    SKIP_UNLESS_ROOT();
    const std::wstring name = uniqueName();
    SC_HANDLE service = running(name);
    ForeignProcess idler;
    ASSERT_TRUE(idler.idleOn(name));

    EXPECT_LT(queryMilliseconds(service), 1500);
}

TEST_F(ServiceChannelTest, AnIdleClientIsDroppedWithinAboutASecondAndOthersAreServedMeanwhile) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = running(name);
    krel_platform::ServiceChannelState state;
    const int idle = krel_platform::connectServiceChannel(name, state);
    ASSERT_GE(idle, 0);

    EXPECT_LT(queryMilliseconds(service), 1500);
    const auto start = Clock::now();
    pollfd hangUp{idle, POLLIN, 0};
    ASSERT_EQ(poll(&hangUp, 1, 10000), 1);
    char byte = 0;
    EXPECT_EQ(recv(idle, &byte, 1, 0), 0);
    EXPECT_LT(millisecondsSince(start), 3000);
    close(idle);
}

TEST_F(ServiceChannelTest, ServicesWhoseNamesShareALongPrefixHaveChannelsOfTheirOwn) {
    std::wstring prefix = uniqueName();
    prefix.resize(100, L'L');
    SC_HANDLE first = running(prefix + L"A");
    SC_HANDLE second = create(prefix + L"B", helperCommand(prefix + L"B"));

    EXPECT_EQ(stateOf(second), SERVICE_STOPPED);
    ASSERT_TRUE(StartServiceW(second, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(reaches(second, SERVICE_RUNNING));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(second, SERVICE_CONTROL_STOP, &status)) << GetLastError();
    ASSERT_TRUE(reaches(second, SERVICE_STOPPED));
    EXPECT_EQ(stateOf(first), SERVICE_RUNNING);
}

TEST_F(ServiceChannelTest, AQueryIsAnsweredWhileTheControlHandlerHangs) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = running(name, "hang");
    std::thread control([service] {
        SERVICE_STATUS status{};
        ControlService(service, 128, &status);
    });
    ASSERT_TRUE(krel_test::becomesTrue(
        [&] {
            const std::vector<std::string> lines = recordLines();
            return std::find(lines.begin(), lines.end(), "control 128") != lines.end();
        },
        std::chrono::milliseconds(PATIENCE_MS)));

    EXPECT_LT(queryMilliseconds(service), 1000);
    kill(static_cast<pid_t>(recordedPid()), SIGUSR1);
    control.join();
}

TEST_F(ServiceChannelTest, AProgramThatNeverBecomesAServiceIsEndedAfterTheFailedStart) {
    krel_platform::setServiceStartTimeoutForTesting(2000);
    SC_HANDLE service = create(uniqueName(), helperCommand(L"Never", "never"));

    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    krel_platform::setServiceStartTimeoutForTesting(0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    const pid_t pid = static_cast<pid_t>(recordedPid());
    ASSERT_NE(pid, 0);
    // Gone and reaped: not even a zombie is left.
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(ServiceChannelTest, AKilledServiceIsStoppedWithTheUnexpectedEndsCode) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = running(name);
    ASSERT_EQ(kill(static_cast<pid_t>(recordedPid()), SIGKILL), 0);
    ASSERT_TRUE(processEnded());

    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
}

TEST_F(ServiceChannelTest, AKilledServiceCanBeStartedAgain) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = running(name);
    ASSERT_EQ(kill(static_cast<pid_t>(recordedPid()), SIGKILL), 0);
    ASSERT_TRUE(processEnded());

    ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
    EXPECT_TRUE(reaches(service, SERVICE_RUNNING));
}

} // namespace

namespace {

TEST(ServiceChannelNameTest, IsTheHashOfTheCaseFoldedNameWhateverItsLength) {
    // The first half of SHA-256("ABC").
    EXPECT_EQ(krel_platform::serviceChannelName(L"abc"), "b5d4045c3f466fa91fe2cc6abe79232a");
    EXPECT_EQ(krel_platform::serviceChannelName(L"\u00e9t\u00e9"),
              krel_platform::serviceChannelName(L"\u00c9T\u00c9"));
    const std::wstring longName(256, L'L');
    EXPECT_EQ(krel_platform::serviceChannelName(longName).size(), 32u);
    EXPECT_NE(krel_platform::serviceChannelName(longName + L"A"),
              krel_platform::serviceChannelName(longName + L"B"));
}

} // namespace
