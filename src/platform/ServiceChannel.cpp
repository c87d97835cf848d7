#include "platform/ServiceChannel.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include "platform/UnicodeLocale.h"
#include "platform/UnixChannel.h"
#include "platform/Utf16.h"
#include "platform/WinError.h"
#include "platform/WinReg.h"

namespace krel_platform {

namespace {

// A client gives up on a service that does not take its connection within this time.
const int kConnectTimeoutMilliseconds = 5000;
const int kBacklog = 64;
// The pause between two attempts to take a start lock that another start holds.
const int kStartLockNapMilliseconds = 2;

const char kChannelLockSuffix[] = ".lock";
const char kStartLockSuffix[] = ".start";

// SHA-256 (FIPS 180-4) of a byte string.
class Sha256 {
public:
    std::array<uint8_t, 32> digest(const std::string& bytes) {
        std::string message = bytes;
        const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
        message += static_cast<char>(0x80);
        while (message.size() % 64 != 56) {
            message += '\0';
        }
        for (int shift = 56; shift >= 0; shift -= 8) {
            message += static_cast<char>((bits >> shift) & 0xFF);
        }
        for (size_t block = 0; block < message.size(); block += 64) {
            compress(reinterpret_cast<const uint8_t*>(message.data() + block));
        }
        std::array<uint8_t, 32> result{};
        for (size_t index = 0; index < 32; ++index) {
            result[index] = static_cast<uint8_t>(state[index / 4] >> (24 - 8 * (index % 4)));
        }
        return result;
    }

private:
    static uint32_t rotate(uint32_t value, int count) {
        return (value >> count) | (value << (32 - count));
    }

    void compress(const uint8_t* block) {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
            0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
            0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
            0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
            0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
            0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
            0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
            0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
            0xc67178f2};
        uint32_t w[64];
        for (int index = 0; index < 16; ++index) {
            w[index] = static_cast<uint32_t>(block[4 * index]) << 24 |
                       static_cast<uint32_t>(block[4 * index + 1]) << 16 |
                       static_cast<uint32_t>(block[4 * index + 2]) << 8 | block[4 * index + 3];
        }
        for (int index = 16; index < 64; ++index) {
            const uint32_t s0 =
                rotate(w[index - 15], 7) ^ rotate(w[index - 15], 18) ^ (w[index - 15] >> 3);
            const uint32_t s1 =
                rotate(w[index - 2], 17) ^ rotate(w[index - 2], 19) ^ (w[index - 2] >> 10);
            w[index] = w[index - 16] + s0 + w[index - 7] + s1;
        }
        uint32_t v[8];
        std::copy(state, state + 8, v);
        for (int index = 0; index < 64; ++index) {
            const uint32_t s1 = rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25);
            const uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const uint32_t first = v[7] + s1 + choice + k[index] + w[index];
            const uint32_t s0 = rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22);
            const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            std::copy_backward(v, v + 7, v + 8);
            v[4] += first;
            v[0] = first + s0 + majority;
        }
        for (int index = 0; index < 8; ++index) {
            state[index] += v[index];
        }
    }

    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
};

// The account owning the machine hive's directory: the one account (besides root) whose
// services may serve channels.
bool machineHiveOwner(const std::string& hiveDirectory, uid_t& owner) {
    struct stat status {};
    if (stat(hiveDirectory.c_str(), &status) != 0) {
        return false;
    }
    owner = status.st_uid;
    return true;
}

int openChannelDirectory(bool create, uid_t& owner) {
    const std::string hiveDirectory = registryHiveDirectory(HKEY_LOCAL_MACHINE);
    if (!machineHiveOwner(hiveDirectory, owner)) {
        return -1;
    }
    return openPrivateDirectory(hiveDirectory + "/services", owner, create);
}

// Opens (with create, makes) a lock file of the channel directory; no link is followed, and
// one that root makes becomes the machine hive owner's.
int openLockFile(int directory, const std::string& fileName, uid_t owner, bool create) {
    const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0);
    const int descriptor = openat(directory, fileName.c_str(), flags, S_IRUSR | S_IWUSR);
    if (descriptor >= 0 && geteuid() == 0 && owner != 0) {
        (void)!fchown(descriptor, owner, static_cast<gid_t>(-1));
    }
    return descriptor;
}

// Takes the lock of the file; another holder is waited for, at most until the deadline.
bool lockUntil(int descriptor, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = ETIMEDOUT;
            return false;
        }
        poll(nullptr, 0, kStartLockNapMilliseconds);
    }
}

} // namespace

std::string serviceChannelName(const std::wstring& serviceName) {
    std::wstring folded = serviceName;
    for (wchar_t& character : folded) {
        character =
            static_cast<wchar_t>(towupper_l(static_cast<wint_t>(character), unicodeLocale()));
    }
    const std::array<uint8_t, 32> digest = Sha256().digest(wideToUtf8(folded));
    static const char hex[] = "0123456789abcdef";
    std::string name;
    for (size_t index = 0; index < 16; ++index) {
        name += hex[digest[index] >> 4];
        name += hex[digest[index] & 0x0F];
    }
    return name;
}

int connectServiceChannel(const std::wstring& serviceName, ServiceChannelState& state) {
    uid_t owner = 0;
    const int directory = openChannelDirectory(false, owner);
    if (directory < 0) {
        state = errno == ENOENT ? ServiceChannelState::absent : ServiceChannelState::unreachable;
        return -1;
    }
    const int connection = connectToOwner(entryPath(directory, serviceChannelName(serviceName)),
                                          SOCK_SEQPACKET, owner, kConnectTimeoutMilliseconds);
    const int error = errno;
    ::close(directory);
    if (connection >= 0) {
        state = ServiceChannelState::connected;
    } else if (error == ENOENT) {
        state = ServiceChannelState::absent;
    } else if (error == ECONNREFUSED) {
        state = ServiceChannelState::abandoned;
    } else if (error == EPERM) {
        state = ServiceChannelState::foreign;
    } else if (error == EAGAIN || error == EWOULDBLOCK) {
        state = ServiceChannelState::busy;
    } else {
        state = ServiceChannelState::unreachable;
    }
    return connection;
}

int lockServiceStart(const std::wstring& serviceName, int timeoutMilliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    uid_t owner = 0;
    const int directory = openChannelDirectory(true, owner);
    if (directory < 0) {
        return -1;
    }
    const int descriptor =
        openLockFile(directory, serviceChannelName(serviceName) + kStartLockSuffix, owner, true);
    const int openError = errno;
    ::close(directory);
    if (descriptor < 0) {
        errno = openError;
        return -1;
    }
    if (!lockUntil(descriptor, deadline)) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

bool serviceChannelHeld(const std::wstring& serviceName) {
    uid_t owner = 0;
    const int directory = openChannelDirectory(false, owner);
    if (directory < 0) {
        return false;
    }
    const int descriptor =
        openLockFile(directory, serviceChannelName(serviceName) + kChannelLockSuffix, owner, false);
    ::close(directory);
    if (descriptor < 0) {
        return false;
    }
    // A shared lock is refused only while an instance holds the channel's exclusive one.
    const bool held = flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return held;
}

ServiceChannelListener::~ServiceChannelListener() {
    close();
}

DWORD ServiceChannelListener::open(const std::wstring& serviceName) {
    close();
    uid_t owner = 0;
    directory = openChannelDirectory(true, owner);
    if (directory < 0) {
        return ERROR_ACCESS_DENIED;
    }
    name = serviceChannelName(serviceName);
    lock = openLockFile(directory, name + kChannelLockSuffix, owner, true);
    if (lock < 0) {
        close();
        return ERROR_ACCESS_DENIED;
    }
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        close();
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    // Holding the lock, whatever socket file is left there belongs to an instance that ended.
    unlinkat(directory, name.c_str(), 0);
    sockaddr_un address;
    socklen_t length = 0;
    listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0 || !socketAddress(entryPath(directory, name), address, length) ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, kBacklog) != 0) {
        close();
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

void ServiceChannelListener::close() {
    if (listener >= 0) {
        unlinkat(directory, name.c_str(), 0);
        ::close(listener);
        listener = -1;
    }
    if (lock >= 0) {
        ::close(lock);
        lock = -1;
    }
    if (directory >= 0) {
        ::close(directory);
        directory = -1;
    }
}

} // namespace krel_platform
