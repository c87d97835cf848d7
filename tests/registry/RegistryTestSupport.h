// A registry of its own for each test, in the test's temporary directory, and small helpers
// for writing and reading values as Windows bytes and for running krel-admin.
#pragma once

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinReg.h"
#include "support/TempDirectory.h"

extern char** environ;

class RegistryTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        setenv("KREL_REGISTRY_DIR", root.c_str(), 1);
        krel_platform::reopenRegistryStore();
    }

    void TearDown() override {
        for (HKEY key : opened) {
            RegCloseKey(key);
        }
        krel_platform::setRegistryHiveReadOnly(HKEY_CURRENT_USER, false);
        krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, false);
        krel_platform::reopenRegistryStore();
        TempDirectoryTest::TearDown();
    }

    // Creates (or opens) the key below HKEY_CURRENT_USER; closed at the end of the test.
    HKEY createKey(const std::wstring& path, REGSAM access = KEY_ALL_ACCESS,
                   HKEY parent = HKEY_CURRENT_USER) {
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        opened.push_back(key);
        return key;
    }

    // Opens the key below HKEY_CURRENT_USER: the result, with key set on success (and closed
    // at the end of the test).
    LSTATUS openKey(const std::wstring& path, HKEY& key, REGSAM access = KEY_ALL_ACCESS) {
        key = nullptr;
        const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key);
        if (status == ERROR_SUCCESS) {
            opened.push_back(key);
        }
        return status;
    }

    // The text as REG_SZ data: UTF-16LE with its terminator.
    static std::vector<BYTE> stringBytes(const std::wstring& text) {
        std::vector<BYTE> bytes;
        for (char16_t unit : krel_platform::wideToUtf16(text)) {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
        bytes.push_back(0);
        bytes.push_back(0);
        return bytes;
    }

    static std::wstring textOf(const std::vector<BYTE>& bytes) {
        std::u16string units;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        }
        while (!units.empty() && units.back() == u'\0') {
            units.pop_back();
        }
        return krel_platform::utf16ToWide(units);
    }

    static LSTATUS setString(HKEY key, const std::wstring& name, const std::wstring& text) {
        const std::vector<BYTE> bytes = stringBytes(text);
        return RegSetValueExW(key, name.c_str(), 0, REG_SZ, bytes.data(),
                              static_cast<DWORD>(bytes.size()));
    }

    static LSTATUS setNumber(HKEY key, const std::wstring& name, DWORD number) {
        const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                               static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
        return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, bytes, 4);
    }

    // The value's text (empty when it cannot be read).
    static std::wstring readString(HKEY key, const std::wstring& name) {
        std::vector<BYTE> bytes(4096);
        DWORD size = static_cast<DWORD>(bytes.size());
        DWORD type = REG_NONE;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, bytes.data(), &size) !=
            ERROR_SUCCESS) {
            return std::wstring();
        }
        bytes.resize(size);
        return textOf(bytes);
    }

    // The names an enumeration call gives at index after index, up to its first failure.
    template <typename Enumerate>
    static std::vector<std::wstring> namesOf(const Enumerate& enumerate) {
        std::vector<std::wstring> names;
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (enumerate(index, name, &length) != ERROR_SUCCESS) {
                return names;
            }
            names.emplace_back(name, length);
        }
    }

    // The names of the key's subkeys, in enumeration order.
    static std::vector<std::wstring> subkeyNames(HKEY key) {
        return namesOf([key](DWORD index, LPWSTR name, LPDWORD length) {
            return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

    // The names of the key's values, in enumeration order.
    static std::vector<std::wstring> valueNames(HKEY key) {
        return namesOf([key](DWORD index, LPWSTR name, LPDWORD length) {
            return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

    // Starts the program with the arguments (the first one being the program), its stdout to
    // a pipe unless output is null, its stderr to the file errorPath when given; answers its
    // process id and the pipe's reading end.
    static pid_t spawn(const std::vector<std::string>& arguments, int* output,
                       const char* errorPath = nullptr) {
        int pipeEnds[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (errorPath != nullptr) {
            posix_spawn_file_actions_addopen(&actions, 2, errorPath, O_WRONLY | O_CREAT | O_TRUNC,
                                             0600);
        }
        if (output != nullptr) {
            EXPECT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        if (output != nullptr) {
            close(pipeEnds[1]);
            *output = pipeEnds[0];
        }
        return pid;
    }

    // Runs the program (the first argument) to its end: its exit code, with its stdout in
    // output.
    static int runProgram(const std::vector<std::string>& command, std::string* output,
                          const char* errorPath = nullptr) {
        int reading = -1;
        const pid_t pid = spawn(command, &reading, errorPath);
        std::string text;
        char buffer[4096];
        ssize_t count;
        while ((count = read(reading, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(count));
        }
        close(reading);
        int status = 0;
        waitpid(pid, &status, 0);
        if (output != nullptr) {
            *output = text;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Runs krel-admin to its end: its exit code, with its stdout in output.
    static int runTool(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        std::vector<std::string> command{KREL_ADMIN_TOOL};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return runProgram(command, output);
    }

    // Runs krel-admin to its end: its exit code, with its stdout in output and its stderr in
    // errors.
    int runToolWithErrors(const std::vector<std::string>& arguments, std::string& output,
                          std::string& errors) const {
        const std::string errorPath = (root / "krel-admin-errors.txt").string();
        std::vector<std::string> command{KREL_ADMIN_TOOL};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const int status = runProgram(command, &output, errorPath.c_str());
        std::ifstream in(errorPath);
        errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return status;
    }

    std::vector<HKEY> opened;
};
