// Writes registry values in a loop for another process's tests.
//
// Usage: krel_registry_writer <key below HKEY_CURRENT_USER> [<seconds>]
// Sets the REG_DWORD value "v<i>" to i and the REG_SZ value "text" to a long text for i = 0,
// 1, 2, ... and writes "<i>\n" to stdout after each value's write has returned; stops with
// status 1 when a write fails. Without seconds it writes until it is killed; with them it
// stops after that many seconds, writes "slowest <microseconds>\n", the longest that one
// write took, and ends with status 0.
//
// Usage: krel_registry_writer <key below HKEY_CURRENT_USER> retry <wait limit in milliseconds>
// Writes as without seconds, each write waiting for the writers' turn no longer than the
// limit; a write that fails with ERROR_BUSY is reported as "busy\n" and tried again.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/SqliteWriteLock.h"
#include "platform/Utf16.h"
#include "platform/WinReg.h"

namespace {

typedef std::chrono::steady_clock Clock;

bool report(const std::string& line) {
    return write(1, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

constexpr LSTATUS ERROR_BUSY = 170;

LSTATUS setNumber(HKEY key, const wchar_t* name, DWORD i) {
    const BYTE number[4] = {static_cast<BYTE>(i), static_cast<BYTE>(i >> 8),
                            static_cast<BYTE>(i >> 16), static_cast<BYTE>(i >> 24)};
    return RegSetValueExW(key, name, 0, REG_DWORD, number, 4);
}

// Creates the key and then writes the value "n" again and again; status 1 when a call fails
// otherwise than busy.
int retryWrites(const std::wstring& path, const char* waitLimit) {
    krel_platform::SqliteWriteLock::setWaitLimitForTests(
        std::chrono::milliseconds(std::atol(waitLimit)));
    HKEY key = nullptr;
    for (DWORD i = 0;;) {
        const bool creating = key == nullptr;
        const LSTATUS status = creating
                                   ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                     KEY_ALL_ACCESS, nullptr, &key, nullptr)
                                   : setNumber(key, L"n", i);
        if (status != ERROR_SUCCESS && status != ERROR_BUSY) {
            return 1;
        }
        const bool reported = status == ERROR_BUSY ? report("busy\n")
                                                   : creating || report(std::to_string(i++) + "\n");
        if (!reported) {
            return 1;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const bool retrying = argc == 4 && std::string(argv[2]) == "retry";
    if (argc != 2 && argc != 3 && !retrying) {
        return 2;
    }
    const std::wstring path = krel_platform::utf8ToWide(argv[1]);
    if (retrying) {
        return retryWrites(path, argv[3]);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    const bool timed = argc == 3;
    const Clock::time_point end =
        Clock::now() + std::chrono::milliseconds(timed ? std::atol(argv[2]) * 1000 : 0);
    Clock::duration slowest{};
    const std::vector<BYTE> text(4000, 'x');
    for (DWORD i = 0; !timed || Clock::now() < end; ++i) {
        const BYTE number[4] = {static_cast<BYTE>(i), static_cast<BYTE>(i >> 8),
                                static_cast<BYTE>(i >> 16), static_cast<BYTE>(i >> 24)};
        const std::wstring name = L"v" + std::to_wstring(i);
        const Clock::time_point start = Clock::now();
        if (RegSetValueExW(key, L"text", 0, REG_BINARY, text.data(),
                           static_cast<DWORD>(text.size())) != ERROR_SUCCESS) {
            return 1;
        }
        const Clock::time_point between = Clock::now();
        if (RegSetValueExW(key, name.c_str(), 0, REG_DWORD, number, 4) != ERROR_SUCCESS) {
            return 1;
        }
        const Clock::duration second = Clock::now() - between;
        slowest = std::max({slowest, between - start, second});
        if (!report(std::to_string(i) + "\n")) {
            return 1;
        }
    }
    const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(slowest).count();
    return report("slowest " + std::to_string(micros) + "\n") ? 0 : 1;
}
