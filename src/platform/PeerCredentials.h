// Who is at the other end of a connected Unix socket.
#pragma once

#include <sys/types.h>

namespace krel_platform {

// The effective user id of the process at the other end of a connected Unix socket, as the
// kernel recorded it when the connection (or, on the connecting side, the peer's listen) was
// made. False, errno set, when it cannot be told.
bool peerUserId(int descriptor, uid_t& user);

// Whether the other end runs under this process's effective user; false when it cannot be told.
bool isPeerOfOwnUser(int descriptor);

} // namespace krel_platform
