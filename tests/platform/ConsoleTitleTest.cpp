#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/WinBase.h"
#include "platform/WinConsole.h"

namespace {

// What a child process did: its exit code and every byte it sent to its terminal.
struct ChildRun {
    int exitCode = -1;
    std::string terminalBytes;
};

// Runs the body in a child process of its own session, whose controlling terminal (when it
// has one) is a raw pseudo-terminal that the parent reads. The body's answer is the child's
// exit code; a failed check inside the body answers a nonzero code.
class ConsoleTitleTest : public ::testing::Test {
protected:
    ChildRun runWithTerminal(const std::function<int()>& body) {
        ChildRun run;
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master, 0);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            return run;
        }
        const std::string slaveName = ptsname(master);
        const int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios mode{};
        tcgetattr(slave, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave, TCSANOW, &mode);
        const pid_t child = fork();
        if (child == 0) {
            close(master);
            if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) {
                _exit(100);
            }
            // The slave stays open until the child exits: the parent reads until it closes.
            _exit(body());
        }
        close(slave);
        run.terminalBytes = readUntilHangUp(master);
        close(master);
        run.exitCode = waitForExit(child);
        return run;
    }

    ChildRun runWithoutTerminal(const std::function<int()>& body) {
        ChildRun run;
        const pid_t child = fork();
        if (child == 0) {
            _exit(setsid() < 0 ? 100 : body());
        }
        run.exitCode = waitForExit(child);
        return run;
    }

private:
    // Reads the terminal's output until every slave side is closed (EIO), or 30 s pass.
    static std::string readUntilHangUp(int master) {
        std::string bytes;
        pollfd ready{master, POLLIN, 0};
        while (poll(&ready, 1, 30000) > 0) {
            char buffer[256];
            const ssize_t count = read(master, buffer, sizeof(buffer));
            if (count > 0) {
                bytes.append(buffer, static_cast<size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                break;
            }
        }
        return bytes;
    }

    static int waitForExit(pid_t child) {
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
            return -1;
        }
        return WEXITSTATUS(status);
    }
};

// The remembered title, as GetConsoleTitleW answers it with a buffer of the given size.
std::wstring readTitle(DWORD size, DWORD& answer) {
    std::wstring buffer(size, L'#');
    answer = GetConsoleTitleW(buffer.data(), size);
    return buffer.substr(0, buffer.find(L'\0'));
}

} // namespace

TEST_F(ConsoleTitleTest, ControlCharactersNeverReachTheTerminal) {
    const ChildRun run = runWithTerminal([] {
        return SetConsoleTitleW(L"a\x1b]b\x07"
                                L"c")
                   ? 0
                   : 1;
    });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.terminalBytes, "\x1b]0;a]bc\x07");
}

TEST_F(ConsoleTitleTest, DeleteAndC1ControlsAreStrippedToo) {
    const ChildRun run =
        runWithTerminal([] { return SetConsoleTitleW(L"x\x7f\x9b\x85y\x00a0z") ? 0 : 1; });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.terminalBytes, "\x1b]0;xy\xc2\xa0z\x07");
}

TEST_F(ConsoleTitleTest, NonBmpTitleIsSentAsUtf8AndReadBack) {
    const ChildRun run = runWithTerminal([] {
        if (!SetConsoleTitleW(L"\U0001F600 ok")) {
            return 1;
        }
        DWORD answer = 0;
        return readTitle(256, answer) == L"\U0001F600 ok" && answer == 4 ? 0 : 2;
    });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.terminalBytes, "\x1b]0;\xf0\x9f\x98\x80 ok\x07");
}

TEST_F(ConsoleTitleTest, TitleIsEmptyUntilOneIsSet) {
    const ChildRun run = runWithTerminal([] {
        DWORD answer = 1;
        return readTitle(16, answer).empty() && answer == 0 ? 0 : 1;
    });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.terminalBytes, "");
}

TEST_F(ConsoleTitleTest, ReadingStopsOneShortOfTheBufferSize) {
    const ChildRun run = runWithTerminal([] {
        if (!SetConsoleTitleW(L"abcdef")) {
            return 1;
        }
        DWORD answer = 0;
        return readTitle(3, answer) == L"ab" && answer == 2 ? 0 : 2;
    });
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(ConsoleTitleTest, WithoutTerminalBothFailWithInvalidHandle) {
    const ChildRun run = runWithoutTerminal([] {
        SetLastError(ERROR_SUCCESS);
        if (SetConsoleTitleW(L"title") != FALSE || GetLastError() != ERROR_INVALID_HANDLE) {
            return 1;
        }
        SetLastError(ERROR_SUCCESS);
        wchar_t buffer[8] = L"keep";
        if (GetConsoleTitleW(buffer, 8) != 0 || GetLastError() != ERROR_INVALID_HANDLE) {
            return 2;
        }
        return 0;
    });
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(ConsoleTitleTest, ProcessThatLeavesItsSessionHasNoTerminalAnyMore) {
    const ChildRun run = runWithTerminal([] {
        DWORD answer = 0;
        if (!SetConsoleTitleW(L"before") || readTitle(16, answer) != L"before") {
            return 1;
        }
        const pid_t leaver = fork();
        if (leaver == 0) {
            SetLastError(ERROR_SUCCESS);
            wchar_t buffer[16];
            const bool noTerminal = setsid() >= 0 && GetConsoleTitleW(buffer, 16) == 0 &&
                                    GetLastError() == ERROR_INVALID_HANDLE;
            _exit(noTerminal ? 0 : 1);
        }
        int status = 0;
        return waitpid(leaver, &status, 0) == leaver && WIFEXITED(status) &&
                       WEXITSTATUS(status) == 0
                   ? 0
                   : 2;
    });
    EXPECT_EQ(run.exitCode, 0);
}

TEST(ConsoleTitleArguments, NullTitleAndEmptyBufferAreRefused) {
    EXPECT_EQ(SetConsoleTitleW(nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    wchar_t buffer[1] = {L'x'};
    EXPECT_EQ(GetConsoleTitleW(buffer, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(buffer[0], L'x');
}
