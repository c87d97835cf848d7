// Writes registry values in a loop for another process's tests.
//
// Usage: krel_registry_writer <key below HKEY_CURRENT_USER> [<seconds>]
// Sets the REG_DWORD value "v<i>" to i and the REG_SZ value "text" to a long text for i = 0,
// 1, 2, ... and writes "<i>\n" to stdout after each value's write has returned; stops with
// status 1 when a write fails. Without seconds it writes until it is killed; with them it
// stops after that many seconds, writes "slowest <microseconds>\n", the longest that one
// write took, and ends with status 0.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinReg.h"

namespace {

typedef std::chrono::steady_clock Clock;

bool report(const std::string& line) {
    return write(1, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        return 2;
    }
    HKEY key = nullptr;
    const std::wstring path = krel_platform::utf8ToWide(argv[1]);
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
