#include "platform/WinConsole.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/NativePath.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

namespace {

// The title the process last set, with the lock that also keeps concurrent escape sequences
// from interleaving on the terminal. `probe` is a read descriptor of the controlling terminal,
// kept so that reading the title costs no open of the device (-1 until one is needed).
struct ConsoleTitle {
    std::mutex lock;
    std::wstring text;
    int probe = -1;
};

ConsoleTitle& consoleTitle() {
    static ConsoleTitle& title = *new ConsoleTitle;
    return title;
}

// C0 controls, DEL and C1 controls: any of them could start or end a terminal command.
bool isControlCharacter(wchar_t character) {
    const auto code = static_cast<uint32_t>(character);
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

std::wstring withoutControlCharacters(LPCWSTR title) {
    std::wstring text;
    for (LPCWSTR next = title; *next != L'\0'; ++next) {
        if (!isControlCharacter(*next)) {
            text.push_back(*next);
        }
    }
    return text;
}

// The process's controlling terminal for writing, or -1 when it has none.
int openControllingTerminal(int accessMode) {
    return open("/dev/tty", accessMode | O_NOCTTY | O_CLOEXEC);
}

// Whether the process has a controlling terminal; the caller holds the title's lock. The kept
// descriptor still names it while that terminal's session is the process's session (a hung-up
// terminal answers no session); otherwise the device is opened again.
bool hasControllingTerminal(ConsoleTitle& title) {
    if (title.probe >= 0) {
        pid_t session = 0;
        if (ioctl(title.probe, TIOCGSID, &session) == 0 && session == getsid(0)) {
            return true;
        }
        close(title.probe);
    }
    title.probe = openControllingTerminal(O_RDONLY);
    return title.probe >= 0;
}

// Writes all bytes; false with errno set when the terminal refuses them.
bool writeAll(int descriptor, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

} // namespace

BOOL SetConsoleTitleW(LPCWSTR title) {
    if (title == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::wstring text = withoutControlCharacters(title);
    const std::string sequence = "\x1b]0;" + krel_platform::wideToUtf8(text) + "\x07";
    ConsoleTitle& current = consoleTitle();
    std::lock_guard<std::mutex> guard(current.lock);
    const int terminal = openControllingTerminal(O_WRONLY);
    if (terminal < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const bool written = writeAll(terminal, sequence);
    if (!written) {
        krel_platform::setLastErrorFromErrno();
    }
    close(terminal);
    if (!written) {
        return FALSE;
    }
    current.text = text;
    return TRUE;
}

DWORD GetConsoleTitleW(LPWSTR title, DWORD size) {
    if (title == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ConsoleTitle& current = consoleTitle();
    std::lock_guard<std::mutex> guard(current.lock);
    if (!hasControllingTerminal(current)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const size_t count = std::min<size_t>(current.text.size(), size - 1);
    current.text.copy(title, count);
    title[count] = L'\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(count);
}
