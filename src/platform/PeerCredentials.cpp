#include "platform/PeerCredentials.h"

#include <sys/socket.h>
#include <unistd.h>

namespace krel_platform {

bool peerUserId(int descriptor, uid_t& user) {
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        return false;
    }
    user = credentials.uid;
    return true;
}

bool isPeerOfOwnUser(int descriptor) {
    uid_t user = 0;
    return peerUserId(descriptor, user) && user == geteuid();
}

} // namespace krel_platform
