// The peer of the service benchmark, built without the library. "peer": the work of a stop
// without a manager: says it is ready with one byte on descriptor 3, reads one byte there,
// answers one byte and ends. "echo <socket>": answers each record sent on the abstract socket
// with a status-sized record until descriptor 3 is closed.
#include <algorithm>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int echo(const std::string& name) {
    const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path + 1, std::min(name.size(), sizeof(address.sun_path) - 2));
    const socklen_t length = static_cast<socklen_t>(sizeof(sa_family_t) + 1 + name.size());
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 16) != 0) {
        return 1;
    }
    const char ready = 0;
    if (write(3, &ready, 1) != 1) {
        return 1;
    }
    for (;;) {
        pollfd watched[2] = {{listener, POLLIN, 0}, {3, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0 || watched[1].revents != 0) {
            return 0;
        }
        const int served = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        char request[8] = {};
        char reply[32] = {};
        if (recv(served, request, sizeof request, 0) > 0) {
            send(served, reply, sizeof reply, MSG_NOSIGNAL);
        }
        close(served);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "peer") == 0) {
        char byte = 0;
        return write(3, &byte, 1) == 1 && read(3, &byte, 1) == 1 && write(3, &byte, 1) == 1 ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "echo") == 0) {
        return echo(argv[2]);
    }
    return 2;
}
