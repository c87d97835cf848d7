// Unix socket files that only one account can serve: a private directory to put them in, a
// path to them that fits sun_path whatever the directory's own path, and connections that
// accept only the expected account as their peer (SO_PEERCRED).
#pragma once

#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include "platform/PeerCredentials.h"

namespace krel_platform {

// Opens a directory that only its owner can enter: a real directory (no symbolic link), owned
// by owner, with no rights for group or others. With create, makes it first (mode 0700); one
// made by root for another owner is given to that owner. Answers an O_PATH descriptor, or -1
// with errno (EPERM for a directory of another account or with wider rights).
int openPrivateDirectory(const std::string& path, uid_t owner, bool create);

// "/proc/self/fd/<directory>/<name>": names an entry of a directory held open, independent of
// how long the directory's own path is.
std::string entryPath(int directory, const std::string& name);

// Fills a Unix socket address with a path; false (errno ENAMETOOLONG) when the path does not fit.
bool socketAddress(const std::string& path, sockaddr_un& address, socklen_t& length);

// A new socket of the type (SOCK_STREAM, SOCK_SEQPACKET, with SOCK_NONBLOCK if wanted) bound to
// the free path and listening with the backlog. Answers the descriptor (close-on-exec), or -1
// with errno (ENAMETOOLONG when the path does not fit, EADDRINUSE when a file is there).
int listenAt(const std::string& path, int type, int backlog);

// Connects a new socket of the type to the socket file; a listener whose backlog stays full is
// given up after the time-out (errno EAGAIN), which also bounds every later send. Answers the
// descriptor (close-on-exec), or -1 with errno.
int connectWithin(const std::string& path, int type, int timeoutMilliseconds);

// Whether the peer of a connected socket runs as owner or as root.
bool peerIsOwnerOrRoot(int socket, uid_t owner);

// Connects a new socket of the type (SOCK_STREAM, SOCK_SEQPACKET) to the socket file and keeps
// it only when the peer runs as owner or as root; a listener whose backlog stays full is given
// up after the time-out. Answers the descriptor (close-on-exec), or -1 with errno: ENOENT when
// there is no socket file, ECONNREFUSED when nobody listens on it, EACCES when the caller may
// not reach it, EAGAIN when the time-out passed, EPERM when another account answers.
int connectToOwner(const std::string& path, int type, uid_t owner, int timeoutMilliseconds);

} // namespace krel_platform
