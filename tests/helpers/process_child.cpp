// A program that the process tests start. Modes:
//   exit <code>                      ends at once with the code
//   hold <event> <ready> <code>      holds the named event, sets <ready>, ends with the code
//                                    once the event is set (99 when a minute passes first)
//   ignore <ready>                   sets <ready>, then waits a minute for nothing (98)
//   set <event>                      sets the named event and ends
//   as-nobody <event>                becomes the user "nobody" (65534), creates the named event
//                                    and ends with the last error (0 when it made a new event,
//                                    183 when it reached an existing one)
//   churn <event> <count>            creates and closes the named event <count> times; ends
//                                    with 0, or with 1 at the first creation that fails or
//                                    answers an error other than 0 or 183 (written to stderr)
//   args <file>                      writes its arguments as CommandLineToArgvW gives them back
//                                    from GetCommandLineW, one a line, then "cwd=" and its
//                                    working directory
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinProcess.h"
#include "platform/WinSync.h"

namespace {

const DWORD LONGEST_WAIT_MS = 60000;

std::wstring wide(const char* text) {
    return krel_platform::utf8ToWide(text);
}

void setNamedEvent(const char* name) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, wide(name).c_str());
    SetEvent(event);
    CloseHandle(event);
}

int hold(const char* name, const char* ready, int code) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, wide(name).c_str());
    setNamedEvent(ready);
    return WaitForSingleObject(event, LONGEST_WAIT_MS) == WAIT_OBJECT_0 ? code : 99;
}

int ignore(const char* ready) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    setNamedEvent(ready);
    WaitForSingleObject(never, LONGEST_WAIT_MS);
    return 98;
}

int writeArguments(const char* file) {
    std::ofstream out(file, std::ios::binary);
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int index = 0; index < count; ++index) {
        out << krel_platform::wideToUtf8(arguments[index]) << '\n';
    }
    LocalFree(arguments);
    char directory[4096] = {};
    out << "cwd=" << (getcwd(directory, sizeof(directory)) != nullptr ? directory : "") << '\n';
    return 0;
}

int openAsNobody(const char* name) {
    if (setgid(65534) != 0 || setuid(65534) != 0) {
        return 96;
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, wide(name).c_str());
    const DWORD error = GetLastError();
    if (event != nullptr) {
        CloseHandle(event);
    }
    return static_cast<int>(error);
}

int churn(const char* name, int count) {
    const std::wstring event = wide(name);
    for (int round = 0; round < count; ++round) {
        HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
        const DWORD error = GetLastError();
        if (handle == nullptr || (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS)) {
            std::fprintf(stderr, "creation %d of %s: handle %p, error %lu\n", round, name, handle,
                         static_cast<unsigned long>(error));
            return 1;
        }
        CloseHandle(handle);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "exit" && argc == 3) {
        return std::atoi(argv[2]);
    }
    if (mode == "hold" && argc == 5) {
        return hold(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (mode == "ignore" && argc == 3) {
        return ignore(argv[2]);
    }
    if (mode == "set" && argc == 3) {
        setNamedEvent(argv[2]);
        return 0;
    }
    if (mode == "as-nobody" && argc == 3) {
        return openAsNobody(argv[2]);
    }
    if (mode == "churn" && argc == 4) {
        return churn(argv[2], std::atoi(argv[3]));
    }
    if (mode == "args" && argc >= 3) {
        return writeArguments(argv[2]);
    }
    return 97;
}
