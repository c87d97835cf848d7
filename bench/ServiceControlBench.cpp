// A service's stop and status through the service manager calls, beside the same work done
// with a bare socket to a spawned child. Stop-to-reply: from the stop control until the
// service's handler has run and answered; stop-to-exit: until its process has ended as well.
// Starting the service is outside the timed part.
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ServiceChannel.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinReg.h"
#include "platform/WinService.h"
#include "platform/WinSync.h"
#include "support/Timing.h"

extern char** environ;

namespace {

typedef std::chrono::steady_clock Clock;

std::string siblingPath(const char* name) {
    char buffer[4096] = {};
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/')) + "/" + name;
}

// A registry of its own below $TMPDIR holding one service, removed at the end.
class BenchService {
public:
    BenchService() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/krel-bench-XXXXXX";
        directory = mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
        setenv("KREL_REGISTRY_DIR", directory.c_str(), 1);
        krel_platform::reopenRegistryStore();
        name = L"KrelBenchService-" + std::to_wstring(getpid());
        manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        const std::wstring command =
            krel_platform::utf8ToWide(siblingPath("krel_bench_service_child") + " service ") + name;
        service =
            CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    ~BenchService() {
        DeleteService(service);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    // Starts the service and waits until it reports RUNNING.
    bool start() {
        if (!StartServiceW(service, 0, nullptr)) {
            return false;
        }
        return awaitState(SERVICE_RUNNING);
    }

    // Waits (without end only when the service hangs) until the service reports the state; a
    // service whose socket is gone is stopped.
    bool awaitState(DWORD wanted) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        SERVICE_STATUS status{};
        while (QueryServiceStatus(service, &status) && status.dwCurrentState != wanted) {
            if (Clock::now() > deadline) {
                return false;
            }
        }
        return status.dwCurrentState == wanted;
    }

    // Waits until the service's channel no longer answers: the service has closed it on its
    // way out of its process.
    bool awaitGone() const {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            krel_platform::ServiceChannelState state;
            const int probe = krel_platform::connectServiceChannel(name, state);
            if (probe < 0) {
                return state == krel_platform::ServiceChannelState::absent ||
                       state == krel_platform::ServiceChannelState::abandoned;
            }
            close(probe);
        }
        return false;
    }

    std::string directory;
    std::wstring name;
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
};

// A peer child on one end of a socket pair, as descriptor 3; ready once it has said so.
class PeerChild {
public:
    explicit PeerChild(const char* mode = "peer", const std::string& argument = "") {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
        const std::string program = siblingPath("krel_bench_service_peer");
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(mode),
                        const_cast<char*>(argument.c_str()), nullptr};
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        char byte = 0;
        ready = read(ends[0], &byte, 1) == 1;
    }
    ~PeerChild() {
        close(ends[0]);
        if (pid > 0) {
            waitpid(pid, nullptr, 0);
        }
    }
    bool exchange() {
        char byte = 1;
        return write(ends[0], &byte, 1) == 1 && read(ends[0], &byte, 1) == 1;
    }
    void reap() {
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    int ends[2] = {-1, -1};
    pid_t pid = -1;
    bool ready = false;
};

// Times a stop control until its reply, or until the service's process has gone too.
void timeStopKrel(benchmark::State& state, bool untilExit) {
    BenchService bench;
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
        if (!bench.start()) {
            state.SkipWithError("the service did not start");
            break;
        }
        SERVICE_STATUS status{};
        timer.begin();
        const bool stopped = ControlService(bench.service, SERVICE_CONTROL_STOP, &status) &&
                             (!untilExit || bench.awaitGone());
        timer.end();
        if (!stopped || (!untilExit && !bench.awaitGone())) {
            state.SkipWithError("the service did not stop");
            break;
        }
    }
    timer.report();
    state.SetLabel("ms<=50");
}

// The peer's request and answer, and with untilExit the reaping of its child as well.
void timeStopPeer(benchmark::State& state, bool untilExit) {
    bench_support::MeanTimer timer(state);
    for (auto _ : state) {
        PeerChild child;
        timer.begin();
        const bool answered = child.exchange();
        if (untilExit) {
            child.reap();
        }
        timer.end();
        if (!answered) {
            state.SkipWithError("the peer did not answer");
            break;
        }
    }
    timer.report();
}

void StopToReplyKrel(benchmark::State& state) {
    timeStopKrel(state, false);
}

void StopToReplyPeer(benchmark::State& state) {
    timeStopPeer(state, false);
}

void StopToExitKrel(benchmark::State& state) {
    timeStopKrel(state, true);
}

void StopToExitPeer(benchmark::State& state) {
    timeStopPeer(state, true);
}

void StatusQueryKrel(benchmark::State& state) {
    BenchService bench;
    if (!bench.start()) {
        state.SkipWithError("the service did not start");
        return;
    }
    SERVICE_STATUS status{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(QueryServiceStatus(bench.service, &status));
    }
    ControlService(bench.service, SERVICE_CONTROL_STOP, &status);
    bench.awaitGone();
    state.SetLabel("goal<=3");
}

// A connection to a child's listening socket, a check of the account at the other end, one
// request and one answer, as the query makes.
void StatusQueryPeer(benchmark::State& state) {
    const std::string path = "krel-bench-peer-" + std::to_string(getpid());
    PeerChild child("echo", path);
    if (!child.ready) {
        state.SkipWithError("the peer did not start");
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path + 1, path.size());
    const socklen_t length = static_cast<socklen_t>(sizeof(sa_family_t) + 1 + path.size());
    for (auto _ : state) {
        const int client = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        connect(client, reinterpret_cast<sockaddr*>(&address), length);
        // The query believes only the service's own account, as the service manager's does.
        ucred peer{};
        socklen_t peerLength = sizeof(peer);
        getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength);
        benchmark::DoNotOptimize(peer.uid == getuid());
        char request[8] = {};
        char reply[32] = {};
        send(client, request, sizeof request, MSG_NOSIGNAL);
        benchmark::DoNotOptimize(recv(client, reply, sizeof reply, 0));
        close(client);
    }
}

} // namespace

BENCHMARK(StopToReplyKrel)->Name("Service stop-to-reply/krel")->UseManualTime()->Iterations(30);
BENCHMARK(StopToReplyPeer)->Name("Service stop-to-reply/peer")->UseManualTime()->Iterations(30);
BENCHMARK(StopToExitKrel)->Name("Service stop-to-exit/krel")->UseManualTime()->Iterations(30);
BENCHMARK(StopToExitPeer)->Name("Service stop-to-exit/peer")->UseManualTime()->Iterations(30);
BENCHMARK(StatusQueryKrel)->Name("Service status query/krel");
BENCHMARK(StatusQueryPeer)->Name("Service status query/peer");
