// The soak's writer and loopback servers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "SoakRoles.h"
#include "SoakSupport.h"
#include "prefs/Preferences.h"

namespace krel_soak {

int runWriter(const std::string& dir, double seconds) {
    const std::string journal = dir + "/writer.journal";
    const boost::shared_ptr<krel_std::Preferences> node =
        krel_std::Preferences::userRoot()->node(kPreferencesNode);
    const int64_t end = monotonicMs() + static_cast<int64_t>(seconds * 1000);
    for (long value = 1; monotonicMs() < end; ++value) {
        const int key = static_cast<int>(value % kPreferenceKeys);
        node->put(L"k" + std::to_wstring(key), std::to_wstring(value));
        appendJournal(journal, "put k" + std::to_string(key) + " " + std::to_string(value));
        // Now and then a burst, which the listener may hear as one change per key.
        if (value % 50 >= 8) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    appendJournal(journal, "end");
    return 0;
}

namespace {

// Listens on the port; SO_REUSEADDR lets a restarted server take its port back at once.
int listenOn(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

} // namespace

int runServer(const std::string& portFile, int port) {
    int listening = listenOn(port);
    // A port may still be held for a moment by the connection of the server killed before.
    for (int attempt = 0; listening < 0 && attempt < 50; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        listening = listenOn(port);
    }
    if (listening < 0) {
        return 1;
    }
    const std::string staged = portFile + ".staged";
    if (FILE* out = std::fopen(staged.c_str(), "w")) {
        std::fprintf(out, "%d\n", boundPort(listening));
        std::fclose(out);
        std::rename(staged.c_str(), portFile.c_str());
    }
    std::vector<pollfd> watched{{listening, POLLIN, 0}};
    for (;;) {
        if (poll(watched.data(), watched.size(), -1) < 0) {
            continue;
        }
        for (size_t i = watched.size(); i-- > 0;) {
            if (watched[i].revents == 0) {
                continue;
            }
            if (i == 0) {
                const int client = accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    watched.push_back({client, POLLIN, 0});
                }
                continue;
            }
            char buffer[64];
            const ssize_t got = recv(watched[i].fd, buffer, sizeof(buffer), 0);
            if (got <= 0 ||
                send(watched[i].fd, buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got) {
                close(watched[i].fd);
                watched.erase(watched.begin() + static_cast<long>(i));
            }
        }
    }
}

} // namespace krel_soak
