// Named events between processes: where their channels live and who may hold, reach or answer
// them. The other-account cases fork a child that becomes the user nobody (65534); they are
// skipped where the test cannot change its user.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <memory>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/EventNameServer.h"
#include "platform/RemoteEvent.h"
#include "platform/UnixChannel.h"
#include "platform/UserRuntimeDirectory.h"
#include "platform/WinBase.h"
#include "platform/WinSync.h"
#include "support/OtherAccount.h"
#include "support/TempDirectory.h"

namespace {

const uid_t NOBODY = 65534;
const int PATIENCE_MS = 20000;

std::string uniqueName(const std::string& prefix) {
    static int counter = 0;
    return prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

std::wstring wide(const std::string& text) {
    return krel_platform::utf8ToWide(text);
}

// Drops every group and becomes nobody. With keepFileAccess the child keeps the right to pass
// file permissions, so that it can reach a socket file of another user's private directory.
bool becomeNobody(bool keepFileAccess) {
    if (setgroups(0, nullptr) != 0 || setresgid(NOBODY, NOBODY, NOBODY) != 0) {
        return false;
    }
    if (keepFileAccess && prctl(PR_SET_KEEPCAPS, 1) != 0) {
        return false;
    }
    if (setresuid(NOBODY, NOBODY, NOBODY) != 0) {
        return false;
    }
    if (!keepFileAccess) {
        return true;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct capabilities[2] = {};
    capabilities[0].permitted = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    capabilities[0].effective = capabilities[0].permitted;
    return syscall(SYS_capset, &header, capabilities) == 0;
}

socklen_t socketAddress(const std::string& path, sockaddr_un& address) {
    socklen_t length = 0;
    EXPECT_TRUE(krel_platform::socketAddress(path, address, length)) << path;
    return length;
}

// The abstract address at which a name's holder used to listen, open to every account.
socklen_t abstractAddress(const std::string& name, sockaddr_un& address) {
    const std::string text = "krel-event/" + name;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, text.data(), text.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size());
}

// Answers every connection to the listener as a holder of a signalled event would, and keeps
// the connections open; runs until the child is killed.
[[noreturn]] void answerSignalled(int listener) {
    for (;;) {
        int client = accept(listener, nullptr, nullptr);
        if (client >= 0) {
            send(client, "1", 1, MSG_NOSIGNAL);
        }
    }
}

void report(int channel, char byte) {
    while (write(channel, &byte, 1) < 0 && errno == EINTR) {
    }
}

// A forked child that runs a body (as root; bodies drop to nobody themselves) and reports single
// bytes through a pipe. Killed and reaped at the end of the test.
class Child {
public:
    template <typename Body> explicit Child(Body body) : pid(-1) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            close(ends[0]);
            _exit(body(ends[1]));
        }
        close(ends[1]);
        reports = ends[0];
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (reports >= 0) {
            close(reports);
        }
    }

    // The child's next report; '?' when none comes in time or the child ended first.
    char nextReport() const {
        pollfd polled{reports, POLLIN, 0};
        char byte = '?';
        if (poll(&polled, 1, PATIENCE_MS) == 1 && read(reports, &byte, 1) != 1) {
            byte = '?';
        }
        return byte;
    }

private:
    pid_t pid;
    int reports = -1;
};

class UserRuntimeDirectoryTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        const char* session = std::getenv("XDG_RUNTIME_DIR");
        savedSession = session != nullptr ? session : "";
        hadSession = session != nullptr;
        shortRoot = "/tmp/krel-session-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(shortRoot.data()));
    }

    void TearDown() override {
        if (hadSession) {
            setenv("XDG_RUNTIME_DIR", savedSession.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::error_code ignored;
        std::filesystem::remove_all(shortRoot, ignored);
        TempDirectoryTest::TearDown();
    }

    static mode_t modeOf(const std::filesystem::path& path) {
        struct stat status = {};
        EXPECT_EQ(0, lstat(path.c_str(), &status));
        return status.st_mode & 07777;
    }

    std::string savedSession;
    bool hadSession = false;
    // Short enough for the session directory's length limit, unlike the test's own directory.
    std::string shortRoot;
};

TEST_F(UserRuntimeDirectoryTest, MissingDirectoryIsMadeForTheUserAlone) {
    const std::filesystem::path directory = native("run");
    ASSERT_TRUE(krel_platform::ensurePrivateDirectory(directory.string()));
    EXPECT_EQ(static_cast<mode_t>(0700), modeOf(directory));
}

TEST_F(UserRuntimeDirectoryTest, MissingDirectoryIsMadeWithMode0700WhateverTheUmask) {
    const std::filesystem::path directory = native("run");
    const mode_t previous = umask(0277);
    const bool made = krel_platform::ensurePrivateDirectory(directory.string());
    umask(previous);
    ASSERT_TRUE(made);
    EXPECT_EQ(static_cast<mode_t>(0700), modeOf(directory));
}

TEST_F(UserRuntimeDirectoryTest, DirectoryOpenToOthersIsRefusedAndLeftAsItIs) {
    const std::filesystem::path directory = native("open");
    ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
    ASSERT_EQ(0, chmod(directory.c_str(), 0777));
    errno = 0;
    EXPECT_FALSE(krel_platform::ensurePrivateDirectory(directory.string()));
    EXPECT_EQ(EACCES, errno);
    EXPECT_EQ(static_cast<mode_t>(0777), modeOf(directory));
}

TEST_F(UserRuntimeDirectoryTest, DirectoryOfAnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can make a directory of another user";
    }
    const std::filesystem::path directory = native("taken");
    ASSERT_EQ(0, mkdir(directory.c_str(), 0700));
    ASSERT_EQ(0, chown(directory.c_str(), NOBODY, NOBODY));
    errno = 0;
    EXPECT_FALSE(krel_platform::ensurePrivateDirectory(directory.string()));
    EXPECT_EQ(EACCES, errno);
}

TEST_F(UserRuntimeDirectoryTest, SymbolicLinkToAPrivateDirectoryIsRefused) {
    ASSERT_EQ(0, mkdir(native("target").c_str(), 0700));
    std::filesystem::create_directory_symlink(native("target"), native("link"));
    errno = 0;
    EXPECT_FALSE(krel_platform::ensurePrivateDirectory(native("link").string()));
    EXPECT_EQ(ENOTDIR, errno);
}

TEST_F(UserRuntimeDirectoryTest, PrivateSessionDirectoryHoldsTheChannels) {
    ASSERT_EQ(0, chmod(shortRoot.c_str(), 0700));
    setenv("XDG_RUNTIME_DIR", shortRoot.c_str(), 1);
    EXPECT_EQ(shortRoot + "/krelstd", krel_platform::userRuntimeDirectory());
    EXPECT_EQ(static_cast<mode_t>(0700), modeOf(shortRoot + "/krelstd"));
}

TEST_F(UserRuntimeDirectoryTest, SessionDirectoryOpenToOthersIsPassedOver) {
    ASSERT_EQ(0, chmod(shortRoot.c_str(), 0755));
    setenv("XDG_RUNTIME_DIR", shortRoot.c_str(), 1);
    const std::string directory = krel_platform::userRuntimeDirectory();
    EXPECT_FALSE(directory.empty()) << std::strerror(errno);
    EXPECT_NE(0u, directory.rfind(shortRoot, 0)) << directory;
    EXPECT_FALSE(std::filesystem::exists(shortRoot + "/krelstd"));
}

TEST_F(UserRuntimeDirectoryTest, RootWithoutASessionKeepsItsChannelsUnderRun) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "the directory under /run is root's";
    }
    const std::string expected = "/run/krelstd";
    const bool existed = std::filesystem::exists(expected);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(expected, krel_platform::userRuntimeDirectory());
    EXPECT_EQ(static_cast<mode_t>(0700), modeOf(expected));
    if (!existed) {
        rmdir(expected.c_str());
    }
}

// A user without a session directory, run in forked children with a home of its own below the
// test's short directory, while nobody may have taken /tmp/krelstd-<uid>. Each test process
// takes a uid of no account whose directories are not there, so that tests running side by side
// do not meet in /tmp.
class UserWithoutSessionTest : public UserRuntimeDirectoryTest {
protected:
    void SetUp() override {
        UserRuntimeDirectoryTest::SetUp();
        const std::string unavailable = krel_test::otherAccountUnavailable();
        if (!unavailable.empty()) {
            GTEST_SKIP() << unavailable;
        }
        victim = unusedUserId();
        ASSERT_NE(0u, victim) << "no unused uid";
        ASSERT_EQ(0, chmod(shortRoot.c_str(), 0755));
        home = shortRoot + "/home";
        ASSERT_TRUE(makeHome(home));
    }

    void TearDown() override {
        removeTmpDirectory();
        UserRuntimeDirectoryTest::TearDown();
    }

    static std::string tmpDirectoryOf(uid_t user) { return "/tmp/krelstd-" + std::to_string(user); }

    static uid_t unusedUserId() {
        for (uid_t user = 40000 + static_cast<uid_t>(getpid()) % 20000; user < 61000; ++user) {
            if (getpwuid(user) == nullptr && !std::filesystem::exists(tmpDirectoryOf(user)) &&
                !std::filesystem::exists("/run/user/" + std::to_string(user))) {
                return user;
            }
        }
        return 0;
    }

    std::string tmpDirectory() const { return tmpDirectoryOf(victim); }

    void removeTmpDirectory() const {
        std::error_code ignored;
        if (victim != 0) {
            std::filesystem::remove_all(tmpDirectory(), ignored);
        }
    }

    bool makeHome(const std::string& path) const {
        return mkdir(path.c_str(), 0700) == 0 && chown(path.c_str(), victim, victim) == 0;
    }

    // Makes /tmp/krelstd-<uid> as nobody, as a squatter would before the user's first event.
    bool squatTmpDirectory() const {
        const std::string directory = tmpDirectory();
        return krel_test::runAsNobody([&] { return mkdir(directory.c_str(), 0700); }) == 0;
    }

    // Becomes the user with the home given and no session or cache directory in the environment.
    bool becomeVictim(const std::string& homeDirectory) const {
        setenv("HOME", homeDirectory.c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("XDG_CACHE_HOME");
        return setgroups(0, nullptr) == 0 && setresgid(victim, victim, victim) == 0 &&
               setresuid(victim, victim, victim) == 0;
    }

    // The user's runtime directory as a child of that user sees it; "?" when it cannot be had.
    std::string victimsDirectory(const std::string& homeDirectory) const {
        Child child([&](int channel) {
            if (!becomeVictim(homeDirectory)) {
                return 95;
            }
            const std::string directory = krel_platform::userRuntimeDirectory();
            if (write(channel, directory.data(), directory.size()) < 0) {
                return 1;
            }
            return 0;
        });
        std::string directory;
        char byte = child.nextReport();
        while (byte != '?') {
            directory += byte;
            byte = child.nextReport();
        }
        return directory.empty() ? "?" : directory;
    }

    // Whether a named event the user creates in a child is set by another child of that user.
    bool victimsEventIsShared(const std::string& homeDirectory) const {
        const std::wstring name = wide(uniqueName("victim"));
        Child holder([&](int channel) {
            if (!becomeVictim(homeDirectory)) {
                return 95;
            }
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
            report(channel, event != nullptr ? 'c' : 'x');
            if (event == nullptr) {
                return 1;
            }
            report(channel, WaitForSingleObject(event, PATIENCE_MS) == WAIT_OBJECT_0 ? 's' : 't');
            return 0;
        });
        EXPECT_EQ('c', holder.nextReport()) << "x: the holder could not create the event";
        const int setter = krel_test::runInChild(
            [&] { return becomeVictim(homeDirectory); }, 95,
            [&] {
                HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
                return event != nullptr && GetLastError() == ERROR_ALREADY_EXISTS && SetEvent(event)
                           ? 0
                           : 1;
            });
        EXPECT_EQ(0, setter);
        return setter == 0 && holder.nextReport() == 's';
    }

    uid_t victim = 0;
    std::string home;
};

TEST_F(UserWithoutSessionTest, DirectoryOfAnotherAccountInTmpDoesNotStopNamedEvents) {
    ASSERT_TRUE(squatTmpDirectory());
    EXPECT_TRUE(victimsEventIsShared(home));
}

TEST_F(UserWithoutSessionTest, ChannelsAreKeptInTheCacheOfTheHome) {
    EXPECT_EQ(home + "/.cache/krelstd/events", victimsDirectory(home));
    EXPECT_EQ(static_cast<mode_t>(0700), modeOf(home + "/.cache/krelstd/events"));
}

TEST_F(UserWithoutSessionTest, HomeTooLongForSocketNamesIsPassedOver) {
    const std::string longHome = shortRoot + "/" + std::string(60, 'h');
    ASSERT_TRUE(makeHome(longHome));
    EXPECT_EQ(tmpDirectory(), victimsDirectory(longHome));
    EXPECT_TRUE(victimsEventIsShared(longHome));
}

TEST_F(UserWithoutSessionTest, HomeTheUserCannotWriteIsPassedOver) {
    const std::string closedHome = shortRoot + "/closed";
    ASSERT_EQ(0, mkdir(closedHome.c_str(), 0755));
    EXPECT_EQ(tmpDirectory(), victimsDirectory(closedHome));
    EXPECT_FALSE(std::filesystem::exists(closedHome + "/.cache"));
}

TEST_F(UserRuntimeDirectoryTest, NamedEventThatCannotBePublishedIsNotMade) {
    const std::string unavailable = krel_test::otherAccountUnavailable();
    if (!unavailable.empty()) {
        GTEST_SKIP() << unavailable;
    }
    // The session directory and its channel directory are nobody's and private, but nobody may
    // not write in the channel directory.
    const std::string channels = shortRoot + "/krelstd";
    ASSERT_EQ(0, chmod(shortRoot.c_str(), 0700));
    ASSERT_EQ(0, chown(shortRoot.c_str(), NOBODY, NOBODY));
    ASSERT_EQ(0, mkdir(channels.c_str(), 0700));
    ASSERT_EQ(0, chown(channels.c_str(), NOBODY, NOBODY));
    ASSERT_EQ(0, chmod(channels.c_str(), 0500));
    setenv("XDG_RUNTIME_DIR", shortRoot.c_str(), 1);
    const std::wstring name = wide(uniqueName("unpublishable"));
    const int outcome = krel_test::runAsNobody([&] {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        return event == nullptr ? static_cast<int>(GetLastError()) : 0;
    });
    EXPECT_EQ(ERROR_ACCESS_DENIED, outcome) << "0: an event that no other process can reach";
}

class NamedEventChannelTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (HANDLE handle : handles) {
            CloseHandle(handle);
        }
    }

    HANDLE createEvent(const std::string& name) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, wide(name).c_str());
        lastError = GetLastError();
        if (event != nullptr) {
            handles.push_back(event);
        }
        return event;
    }

    static std::string channelOf(const std::string& name) {
        const std::string path = krel_platform::eventChannelPath(wide(name));
        EXPECT_FALSE(path.empty()) << std::strerror(errno);
        return path;
    }

    static void requireRoot() {
        if (geteuid() != 0) {
            GTEST_SKIP() << "a process of another user can only be made by root";
        }
    }

    DWORD lastError = 0;
    std::vector<HANDLE> handles;
};

TEST_F(NamedEventChannelTest, ChannelsHaveOneLengthAndDifferForNamesSharingALongPrefix) {
    const std::wstring prefix(300, L'L');
    const std::string first = krel_platform::eventChannelName(prefix + L"A");
    const std::string second = krel_platform::eventChannelName(prefix + L"B");
    EXPECT_NE(first, second);
    EXPECT_EQ(krel_platform::eventChannelName(L"x").size(), first.size());
    EXPECT_LT(channelOf(std::string(300, 'L')).size(), sizeof(sockaddr_un::sun_path));
}

TEST_F(NamedEventChannelTest, SquatterOfAnotherUserCannotHoldTheName) {
    requireRoot();
    const std::string name = uniqueName("squatted");
    sockaddr_un open;
    const socklen_t openLength = abstractAddress(name, open);
    sockaddr_un owners;
    const socklen_t ownersLength = socketAddress(channelOf(name), owners);
    // The squatter listens wherever it can, as the holder of a signalled event.
    Child squatter([&](int channel) {
        if (!becomeNobody(false)) {
            return 90;
        }
        int intruder = socket(AF_UNIX, SOCK_STREAM, 0);
        const bool intruded =
            bind(intruder, reinterpret_cast<const sockaddr*>(&owners), ownersLength) == 0;
        int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(listener, reinterpret_cast<const sockaddr*>(&open), openLength) != 0 ||
            listen(listener, 16) != 0) {
            return 91;
        }
        report(channel, intruded ? 'I' : 'L');
        answerSignalled(listener);
    });
    ASSERT_EQ('L', squatter.nextReport()) << "the squatter could not listen, or made a file in "
                                             "the owner's channel directory";

    HANDLE event = createEvent(name);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastError);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
}

TEST_F(NamedEventChannelTest, ChannelAnsweredByAnotherUserIsNotTaken) {
    requireRoot();
    const std::string name = uniqueName("answered");
    sockaddr_un owners;
    const socklen_t ownersLength = socketAddress(channelOf(name), owners);
    // The file is made in the owner's directory before the child drops to nobody; the listening
    // socket, and so the answers, belong to nobody.
    Child impostor([&](int channel) {
        int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(listener, reinterpret_cast<const sockaddr*>(&owners), ownersLength) != 0 ||
            !becomeNobody(false) || listen(listener, 16) != 0) {
            return 90;
        }
        report(channel, 'L');
        answerSignalled(listener);
    });
    ASSERT_EQ('L', impostor.nextReport());

    HANDLE event = createEvent(name);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastError);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    // The channel is this process's own now.
    int connection = krel_platform::RemoteEvent::openChannel(channelOf(name));
    EXPECT_LE(0, connection) << std::strerror(errno);
    close(connection);
}

TEST_F(NamedEventChannelTest, SquatterOfAnotherUserCannotReachAHeldEvent) {
    requireRoot();
    const std::string name = uniqueName("unreachable");
    HANDLE event = createEvent(name);
    ASSERT_NE(nullptr, event);
    sockaddr_un owners;
    const socklen_t ownersLength = socketAddress(channelOf(name), owners);
    Child squatter([&](int channel) {
        if (!becomeNobody(false)) {
            return 90;
        }
        int connection = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(connection, reinterpret_cast<const sockaddr*>(&owners), ownersLength) != 0) {
            report(channel, errno == EACCES ? 'D' : 'E');
            return 0;
        }
        send(connection, "S", 1, MSG_NOSIGNAL);
        report(channel, 'C');
        return 0;
    });
    EXPECT_EQ('D', squatter.nextReport());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
}

TEST_F(NamedEventChannelTest, HolderClosesAConnectionOfAnotherUserAtOnce) {
    requireRoot();
    const std::string name = uniqueName("refused");
    HANDLE event = createEvent(name);
    ASSERT_NE(nullptr, event);
    sockaddr_un owners;
    const socklen_t ownersLength = socketAddress(channelOf(name), owners);
    // Keeps the right to pass file permissions, as a process that got past the directory would.
    Child intruder([&](int channel) {
        if (!becomeNobody(true)) {
            report(channel, 'N');
            return 90;
        }
        int connection = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(connection, reinterpret_cast<const sockaddr*>(&owners), ownersLength) != 0) {
            report(channel, 'E');
            return 0;
        }
        send(connection, "S", 1, MSG_NOSIGNAL);
        pollfd polled{connection, POLLIN, 0};
        char byte = 0;
        if (poll(&polled, 1, 5000) != 1) {
            report(channel, 'T');
        } else {
            // A close with the request unread resets the connection.
            const ssize_t received = recv(connection, &byte, 1, 0);
            report(channel, received == 0 || (received < 0 && errno == ECONNRESET) ? 'X' : 'A');
        }
        return 0;
    });
    const char outcome = intruder.nextReport();
    if (outcome == 'N') {
        GTEST_SKIP() << "the child could not keep the right to pass file permissions";
    }
    EXPECT_EQ('X', outcome) << "E: not connected, T: held open, A: answered";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
}

TEST_F(NamedEventChannelTest, ChannelLeftByAGoneHolderIsTakenOver) {
    // A process's first named event clears gone holders' channels; this one is left later.
    ASSERT_NE(nullptr, createEvent(uniqueName("first")));
    const std::string name = uniqueName("abandoned");
    sockaddr_un address;
    const socklen_t length = socketAddress(channelOf(name), address);
    int gone = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(0, bind(gone, reinterpret_cast<const sockaddr*>(&address), length));
    ASSERT_EQ(0, listen(gone, 1));
    close(gone);

    HANDLE event = createEvent(name);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lastError);
    std::shared_ptr<krel_platform::RemoteEvent> peer =
        krel_platform::RemoteEvent::connect(channelOf(name), true);
    ASSERT_NE(nullptr, peer) << std::strerror(errno);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), peer->request('S'));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, PATIENCE_MS));
}

TEST_F(NamedEventChannelTest, IdleConnectionDoesNotDelayOtherPeers) {
    const std::string name = uniqueName("idle");
    HANDLE event = createEvent(name);
    ASSERT_NE(nullptr, event);
    int idle = krel_platform::RemoteEvent::openChannel(channelOf(name));
    ASSERT_LE(0, idle) << std::strerror(errno);

    const auto started = std::chrono::steady_clock::now();
    std::shared_ptr<krel_platform::RemoteEvent> peer =
        krel_platform::RemoteEvent::connect(channelOf(name), true);
    ASSERT_NE(nullptr, peer) << std::strerror(errno);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), peer->request('S'));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    close(idle);
}

TEST_F(NamedEventChannelTest, ChannelFileGoesWithTheLastHandle) {
    const std::string name = uniqueName("withdrawn");
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, wide(name).c_str());
    ASSERT_NE(nullptr, event);
    EXPECT_TRUE(std::filesystem::exists(channelOf(name)));
    ASSERT_TRUE(CloseHandle(event));
    EXPECT_FALSE(std::filesystem::exists(channelOf(name)));
}

} // namespace
