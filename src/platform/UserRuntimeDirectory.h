// A directory for the calling user's private sockets: no other account can create, replace or
// reach a file in it.
#pragma once

#include <string>

namespace krel_platform {

// The longest directory userRuntimeDirectory answers, so that socket names of up to 40 bytes
// still fit a Unix socket address beside it.
const size_t USER_RUNTIME_DIRECTORY_MAX_LENGTH = 64;

// Makes sure that path is a directory (not a symbolic link) owned by the effective user that
// grants nothing to group or others, creating it with mode 0700 when it is missing. An existing
// directory is never widened, narrowed or taken over: false (errno EACCES) when it belongs to
// another user or is open to others, ENOTDIR when it is no directory, or the error of mkdir.
bool ensurePrivateDirectory(const std::string& path);

// The first of these that can be had, made private when missing: "krelstd" in $XDG_RUNTIME_DIR
// when that variable names an absolute directory private to the effective user (as
// ensurePrivateDirectory checks it); for root "/run/krelstd", for another user "krelstd" in
// /run/user/<uid> when that is the user's own and private; "krelstd/events" in $XDG_CACHE_HOME
// or in ".cache" of the home directory when its file system holds Unix socket files; last
// "/tmp/krelstd-<effective uid>", the one place another account can take first. Each is passed
// over when longer than USER_RUNTIME_DIRECTORY_MAX_LENGTH. Empty, errno set as by
// ensurePrivateDirectory, when even the last is unsafe (for example another user made it first).
std::string userRuntimeDirectory();

} // namespace krel_platform
