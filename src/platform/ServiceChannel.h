// The control channels of running services: one Unix socket file per service name in the
// directory "services" beside the machine hive's machine.db (so KREL_REGISTRY_DIR moves it
// too), made with mode 0700 for the account that owns the machine hive's directory. Only that
// account and root can make, replace or reach a channel there, and a client keeps a
// connection only when the service at the other end runs as one of them. A channel is named
// by a fixed-length hash of the case-folded service name, so every name has its own.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace krel_platform {

// The file name of a service's channel: 32 hexadecimal digits.
std::string serviceChannelName(const std::wstring& serviceName);

// What a client found on a service's channel.
enum class ServiceChannelState {
    connected,   // the service answers, and runs as the expected account
    absent,      // no channel: the service does not run
    abandoned,   // a channel without a listener: its service ended without closing it
    unreachable, // the caller may not reach the channel
    foreign,     // another account answers: nothing it says is believed
    busy,        // the service did not take the connection in time
    closed       // the service closed the connection without answering: it is ending
};

// Connects to the service's channel; the descriptor (close-on-exec) when connected, else -1.
int connectServiceChannel(const std::wstring& serviceName, ServiceChannelState& state);

// Takes the lock under which the starts of the service take turns across processes (a file
// beside the channel), waiting for it at most the time given. Answers the descriptor holding
// it (closing it lets go), or -1 with errno: ETIMEDOUT when another start held it all along,
// else why the channel directory or the lock file cannot be had.
int lockServiceStart(const std::wstring& serviceName, int timeoutMilliseconds);

// Whether an instance of the service still holds its channel: one that is ending holds it
// until its process is gone, also after its socket file has been removed.
bool serviceChannelHeld(const std::wstring& serviceName);

// The listening end of a service's channel, held by the running service: at most one per
// service name, taken with a lock beside the socket, which also lets a stale socket of a
// service that died be replaced safely. Closing removes the socket file first.
class ServiceChannelListener {
public:
    ServiceChannelListener() = default;
    ~ServiceChannelListener();
    ServiceChannelListener(const ServiceChannelListener&) = delete;
    ServiceChannelListener& operator=(const ServiceChannelListener&) = delete;

    // Binds and listens; ERROR_SUCCESS, ERROR_SERVICE_ALREADY_RUNNING when the service's
    // channel is held, ERROR_ACCESS_DENIED when the channel directory is not the machine
    // hive owner's private one or cannot be written.
    DWORD open(const std::wstring& serviceName);
    void close();
    int descriptor() const { return listener; }

private:
    int directory = -1;
    int lock = -1;
    int listener = -1;
    std::string name;
};

} // namespace krel_platform
