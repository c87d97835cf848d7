#include "platform/WinSock.h"

#include <atomic>
#include <cstring>

namespace {

// The versions offered: 2.2, as the Windows sockets library offers.
const WORD HIGHEST_VERSION = MAKEWORD(2, 2);

std::atomic<int>& startups() {
    static std::atomic<int>& count = *new std::atomic<int>(0);
    return count;
}

} // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data) {
    if (data == nullptr || LOBYTE(versionRequested) == 0) {
        return WSAVERNOTSUPPORTED;
    }
    std::memset(data, 0, sizeof(*data));
    const bool aboveHighest = LOBYTE(versionRequested) > 2 ||
                              (LOBYTE(versionRequested) == 2 && HIBYTE(versionRequested) > 2);
    data->wVersion = aboveHighest ? HIGHEST_VERSION : versionRequested;
    data->wHighVersion = HIGHEST_VERSION;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    startups().fetch_add(1);
    return 0;
}

int WSACleanup() {
    int count = startups().load();
    while (count > 0) {
        if (startups().compare_exchange_weak(count, count - 1)) {
            return 0;
        }
    }
    return SOCKET_ERROR;
}
