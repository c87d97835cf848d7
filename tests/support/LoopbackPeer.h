// Real TCP peers on 127.0.0.1 for exercising a connection manager without another process: a
// LoopbackPeer echoes every byte it receives and can go away (drop every connection and stop
// listening) and come back on the same port; a LoopbackClient is the application's side,
// connecting to the peer of the chosen index and sending one-byte heart beats that the peer
// echoes. Every wait here ends: the peer's worker is woken through a pipe, and the client's
// reads give up after RECEIVE_TIMEOUT_MS.
#pragma once

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "connection/IConnectionImplementer.h"
#include "connection/ISendHeartBeat.h"
#include "exception/KrelConnectException.h"
#include "exception/KrelObjectNotFoundException.h"

namespace krel_test {

inline sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

inline std::wstring loopbackHost(int port) {
    return L"127.0.0.1:" + std::to_wstring(port);
}

class LoopbackPeer {
public:
    // Listens on an ephemeral port.
    LoopbackPeer() {
        if (pipe(wakePipe) != 0) {
            throw std::runtime_error("pipe failed");
        }
        listenOn(0);
        worker = std::thread([this] { serve(); });
    }

    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    ~LoopbackPeer() {
        command('q');
        worker.join();
        closeAll();
        close(wakePipe[0]);
        close(wakePipe[1]);
    }

    int port() const { return boundPort; }
    std::wstring host() const { return loopbackHost(boundPort); }

    // Drops every connection and stops listening; returns when done.
    void goAway() { command('d'); }
    // Listens again on the same port; returns when listening.
    void comeBack() { command('l'); }

private:
    void listenOn(int port) {
        listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        sockaddr_in address = loopbackAddress(port);
        if (bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listenFd, SOMAXCONN) != 0) {
            throw std::runtime_error("cannot listen on the loopback address");
        }
        socklen_t length = sizeof(address);
        getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length);
        boundPort = ntohs(address.sin_port);
    }

    void closeAll() {
        for (int client : clients) {
            close(client);
        }
        clients.clear();
        if (listenFd >= 0) {
            close(listenFd);
            listenFd = -1;
        }
    }

    // Hands a command to the worker and waits until it has been carried out.
    void command(char what) {
        std::unique_lock<std::mutex> guard(mutex);
        const unsigned long ticket = ++commandsSent;
        if (write(wakePipe[1], &what, 1) != 1) {
            throw std::runtime_error("cannot wake the peer");
        }
        if (!done.wait_for(guard, std::chrono::seconds(10),
                           [&] { return commandsDone >= ticket; })) {
            throw std::runtime_error("the peer did not answer");
        }
    }

    void acknowledge() {
        std::lock_guard<std::mutex> guard(mutex);
        ++commandsDone;
        done.notify_all();
    }

    void serve() {
        for (;;) {
            std::vector<pollfd> watched{{wakePipe[0], POLLIN, 0}};
            if (listenFd >= 0) {
                watched.push_back({listenFd, POLLIN, 0});
            }
            for (int client : clients) {
                watched.push_back({client, POLLIN, 0});
            }
            if (poll(watched.data(), watched.size(), -1) < 0) {
                continue;
            }
            if (watched[0].revents != 0) {
                // A command may close the watched sockets: the next round polls afresh.
                if (!obey()) {
                    return;
                }
                continue;
            }
            for (size_t i = 1; i < watched.size(); ++i) {
                if (watched[i].revents == 0) {
                    continue;
                }
                if (watched[i].fd == listenFd) {
                    const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (client >= 0) {
                        clients.push_back(client);
                    }
                } else {
                    echo(watched[i].fd);
                }
            }
        }
    }

    // Carries out one command; false for quit.
    bool obey() {
        char what = 0;
        if (read(wakePipe[0], &what, 1) != 1) {
            return true;
        }
        if (what == 'q') {
            acknowledge();
            return false;
        }
        if (what == 'd') {
            closeAll();
        } else if (what == 'l' && listenFd < 0) {
            listenOn(boundPort);
        }
        acknowledge();
        return true;
    }

    void echo(int client) {
        char buffer[64];
        const ssize_t got = recv(client, buffer, sizeof(buffer), 0);
        if (got <= 0 || send(client, buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got) {
            close(client);
            clients.erase(std::find(clients.begin(), clients.end(), client));
        }
    }

    int wakePipe[2] = {-1, -1};
    int listenFd = -1;
    int boundPort = 0;
    std::vector<int> clients;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable done;
    unsigned long commandsSent = 0;
    unsigned long commandsDone = 0;
};

// The application's side: service i is the peer on ports[i].
class LoopbackClient final : public krel_std::IConnectionImplementer,
                             public krel_std::ISendHeartBeat {
public:
    static const int RECEIVE_TIMEOUT_MS = 2000;

    explicit LoopbackClient(std::vector<int> ports) : ports(std::move(ports)) {
        for (int port : this->ports) {
            hosts.push_back(loopbackHost(port));
        }
    }
    ~LoopbackClient() { closeConnection(); }

    std::wstring toString() override { return L"LoopbackClient"; }

    std::wstring useServiceConnectionInfo(int index) override {
        std::lock_guard<std::mutex> guard(mutex);
        if (index < 0 || index >= static_cast<int>(ports.size())) {
            throw krel_std::KrelObjectNotFoundException(L"No peer " + std::to_wstring(index));
        }
        chosen = index;
        return hosts[index];
    }

    void establishConnection() override {
        std::lock_guard<std::mutex> guard(mutex);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopbackAddress(ports.at(chosen));
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            close(fd);
            throw krel_std::KrelConnectException(L"Connection refused by " + hosts[chosen]);
        }
        // Closing with a reset leaves no TIME_WAIT behind, so many short connections in a row
        // do not run out of ephemeral ports.
        linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
        timeval timeout{RECEIVE_TIMEOUT_MS / 1000, (RECEIVE_TIMEOUT_MS % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        connection = fd;
    }

    void disconnectConnection() override { closeConnection(); }

    // Writes one byte and reads its echo; a peer that is gone makes it throw.
    void sendHeartBeat() override {
        std::lock_guard<std::mutex> guard(mutex);
        char beat = 'b';
        if (connection < 0 || send(connection, &beat, 1, MSG_NOSIGNAL) != 1 ||
            recv(connection, &beat, 1, 0) != 1) {
            throw krel_std::KrelConnectException(L"Heart beat lost.");
        }
    }

private:
    void closeConnection() {
        std::lock_guard<std::mutex> guard(mutex);
        if (connection >= 0) {
            close(connection);
            connection = -1;
        }
    }

    std::mutex mutex;
    const std::vector<int> ports;
    // The host text of each port, made once.
    std::vector<std::wstring> hosts;
    int chosen = 0;
    int connection = -1;
};

} // namespace krel_test
