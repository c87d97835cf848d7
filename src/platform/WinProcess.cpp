#include "platform/WinProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CancellationOff.h"
#include "platform/CommandLine.h"
#include "platform/KernelProcess.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

extern char** environ;

namespace {

using krel_platform::ChildTable;
using krel_platform::KernelProcess;

// The pseudo-handle value Windows gives the calling process.
const HANDLE CURRENT_PROCESS = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOEXEC:
    case ELIBBAD:
        return ERROR_BAD_EXE_FORMAT;
    case ESRCH:
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    default:
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The process a handle names: the calling process for the pseudo-handle (no object), or the
// process object; false with ERROR_INVALID_HANDLE otherwise.
bool resolve(HANDLE handle, pid_t& pid, std::shared_ptr<KernelProcess>& process) {
    if (handle == CURRENT_PROCESS) {
        pid = getpid();
        return true;
    }
    process = krel_platform::referenceHandleAs<KernelProcess>(handle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    pid = process->getPid();
    return true;
}

// Owns the argument strings and the pointer array posix_spawn takes.
class NarrowArguments {
public:
    explicit NarrowArguments(const std::vector<std::wstring>& arguments) {
        for (const std::wstring& argument : arguments) {
            strings.push_back(krel_platform::wideToUtf8(argument));
        }
        for (std::string& text : strings) {
            pointers.push_back(&text[0]);
        }
        pointers.push_back(nullptr);
    }
    char* const* get() { return pointers.data(); }

private:
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

// The "name=value" strings of a wide environment block (each ended by a NUL, the block by an
// empty one).
std::vector<std::wstring> environmentEntries(const wchar_t* block) {
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        entries.emplace_back(entry);
    }
    return entries;
}

class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // A detached child: its own session, the standard descriptors on /dev/null, nothing else
    // inherited, and the given working directory (empty: the caller's).
    int prepare(const std::string& directory) {
        int error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        for (int descriptor = 0; descriptor < 3 && error == 0; ++descriptor) {
            error = posix_spawn_file_actions_addopen(&actions, descriptor, "/dev/null",
                                                     descriptor == 0 ? O_RDONLY : O_WRONLY, 0);
        }
        if (error == 0) {
            error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        }
        if (error == 0 && !directory.empty()) {
            error = posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
        }
        return error;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The nice value of each priority class, and the classes read back by ranges.
int niceOfClass(DWORD priorityClass) {
    switch (priorityClass) {
    case REALTIME_PRIORITY_CLASS:
        return -20;
    case HIGH_PRIORITY_CLASS:
        return -10;
    case ABOVE_NORMAL_PRIORITY_CLASS:
        return -5;
    case NORMAL_PRIORITY_CLASS:
        return 0;
    case BELOW_NORMAL_PRIORITY_CLASS:
        return 5;
    case IDLE_PRIORITY_CLASS:
        return 19;
    default:
        return 1000;
    }
}

DWORD classOfNice(int nice) {
    if (nice <= -15) {
        return REALTIME_PRIORITY_CLASS;
    }
    if (nice <= -8) {
        return HIGH_PRIORITY_CLASS;
    }
    if (nice < 0) {
        return ABOVE_NORMAL_PRIORITY_CLASS;
    }
    if (nice == 0) {
        return NORMAL_PRIORITY_CLASS;
    }
    return nice < 12 ? BELOW_NORMAL_PRIORITY_CLASS : IDLE_PRIORITY_CLASS;
}

std::vector<pid_t> numericEntries(const char* directory) {
    std::vector<pid_t> ids;
    DIR* listing = opendir(directory);
    if (listing == nullptr) {
        return ids;
    }
    while (dirent* entry = readdir(listing)) {
        char* end = nullptr;
        long value = std::strtol(entry->d_name, &end, 10);
        if (*entry->d_name != '\0' && *end == '\0' && value > 0) {
            ids.push_back(static_cast<pid_t>(value));
        }
    }
    closedir(listing);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The target of /proc/<pid>/exe without the " (deleted)" mark; false when it has none.
bool executableOf(pid_t pid, std::string& target) {
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::vector<char> buffer(4096);
    ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size());
    if (length <= 0) {
        SetLastError(errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED
                                                       : ERROR_INVALID_PARAMETER);
        return false;
    }
    target.assign(buffer.data(), static_cast<size_t>(length));
    const std::string deleted = " (deleted)";
    if (target.size() > deleted.size() &&
        target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0) {
        target.resize(target.size() - deleted.size());
    }
    return true;
}

std::vector<std::wstring> ownArguments() {
    std::ifstream input("/proc/self/cmdline", std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    std::vector<std::wstring> arguments;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\0', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        arguments.push_back(krel_platform::utf8ToWide(content.substr(start, end - start)));
        start = end + 1;
    }
    return arguments;
}

std::wstring ownExecutable() {
    std::string target;
    return executableOf(getpid(), target) ? krel_platform::utf8ToWide(target) : std::wstring();
}

} // namespace

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES*,
                    SECURITY_ATTRIBUTES*, BOOL, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW,
                    LPPROCESS_INFORMATION processInformation) {
    krel_platform::CancellationOff cancellationOff;
    if ((applicationName == nullptr && commandLine == nullptr) || processInformation == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::vector<std::wstring> arguments =
        krel_platform::splitCommandLine(commandLine != nullptr ? commandLine : applicationName);
    NarrowArguments argv(arguments);
    const bool ownEnvironment =
        environment != nullptr && (creationFlags & CREATE_UNICODE_ENVIRONMENT) != 0;
    NarrowArguments environmentStrings(
        ownEnvironment ? environmentEntries(static_cast<const wchar_t*>(environment))
                       : std::vector<std::wstring>());
    char* const* envp = ownEnvironment ? environmentStrings.get() : environ;
    SpawnSetup setup;
    int error = setup.prepare(
        currentDirectory != nullptr ? krel_platform::wideToUtf8(currentDirectory) : std::string());
    pid_t pid = 0;
    if (error == 0 && applicationName != nullptr) {
        const std::string path = krel_platform::wideToUtf8(applicationName);
        error =
            posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv.get(), envp);
    } else if (error == 0) {
        error =
            posix_spawnp(&pid, argv.get()[0], &setup.actions, &setup.attributes, argv.get(), envp);
    }
    if (error != 0) {
        return fail(errorFromErrno(error));
    }
    // The child cannot be reaped before the table has it, so its pid is still its own here.
    int descriptor = pidfd_open(pid, 0);
    if (descriptor < 0) {
        int openError = errno;
        kill(pid, SIGKILL);
        siginfo_t info{};
        waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED);
        return fail(errorFromErrno(openError));
    }
    processInformation->hProcess =
        krel_platform::insertHandle(KernelProcess::adopt(pid, descriptor));
    // There is no separate thread object: the thread handle is an inert entry to close.
    processInformation->hThread =
        krel_platform::insertHandle(std::make_shared<krel_platform::KernelObject>());
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    krel_platform::CancellationOff cancellationOff;
    if (processId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<KernelProcess> process = KernelProcess::open(static_cast<pid_t>(processId));
    if (!process) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    return krel_platform::insertHandle(process);
}

HANDLE GetCurrentProcess() {
    return CURRENT_PROCESS;
}

DWORD GetProcessId(HANDLE process) {
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    return resolve(process, pid, object) ? static_cast<DWORD>(pid) : 0;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    krel_platform::CancellationOff cancellationOff;
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    if (!resolve(process, pid, object)) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!object) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    if (object->isChild()) {
        DWORD code = 0;
        *exitCode = ChildTable::instance().exitCode(pid, code) ? code : STILL_ACTIVE;
        return TRUE;
    }
    ChildTable::instance().sweep();
    if (object->hasEnded()) {
        return fail(ERROR_NOT_SUPPORTED);
    }
    *exitCode = STILL_ACTIVE;
    return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    krel_platform::CancellationOff cancellationOff;
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    if (!resolve(process, pid, object)) {
        return FALSE;
    }
    if (!object) {
        _exit(static_cast<int>(exitCode));
    }
    if (object->isChild()) {
        ChildTable::instance().setTerminationCode(pid, exitCode);
    }
    if (pidfd_send_signal(object->getDescriptor(), SIGKILL, nullptr, 0) != 0) {
        // An ended process is no longer there to be terminated, as on Windows.
        return fail(errno == ESRCH ? ERROR_ACCESS_DENIED : errorFromErrno(errno));
    }
    return TRUE;
}

DWORD GetPriorityClass(HANDLE process) {
    krel_platform::CancellationOff cancellationOff;
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    if (!resolve(process, pid, object)) {
        return 0;
    }
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
    if (nice == -1 && errno != 0) {
        SetLastError(errorFromErrno(errno));
        return 0;
    }
    return classOfNice(nice);
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
    krel_platform::CancellationOff cancellationOff;
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    if (!resolve(process, pid, object)) {
        return FALSE;
    }
    const int nice = niceOfClass(priorityClass);
    if (nice > 19) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // Linux nice values belong to threads: every thread of the process gets the new one.
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::vector<pid_t> threads = numericEntries(tasks.c_str());
    if (threads.empty()) {
        threads.push_back(pid);
    }
    for (pid_t thread : threads) {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) != 0 && errno != ESRCH) {
            return fail(errorFromErrno(errno));
        }
    }
    return TRUE;
}

BOOL EnumProcesses(DWORD* processIds, DWORD bytes, LPDWORD bytesReturned) {
    krel_platform::CancellationOff cancellationOff;
    if (processIds == nullptr || bytesReturned == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    ChildTable::instance().sweep();
    std::vector<pid_t> ids = numericEntries("/proc");
    const size_t count = std::min<size_t>(ids.size(), bytes / sizeof(DWORD));
    for (size_t index = 0; index < count; ++index) {
        processIds[index] = static_cast<DWORD>(ids[index]);
    }
    *bytesReturned = static_cast<DWORD>(count * sizeof(DWORD));
    return TRUE;
}

BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD bytesNeeded) {
    krel_platform::CancellationOff cancellationOff;
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    if (!resolve(process, pid, object)) {
        return FALSE;
    }
    if (bytesNeeded == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::string target;
    if (!executableOf(pid, target)) {
        return FALSE;
    }
    // The main module's handle stands for the executable; only GetModuleBaseNameW reads it.
    if (modules != nullptr && bytes >= sizeof(HMODULE)) {
        modules[0] = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(pid));
    }
    *bytesNeeded = sizeof(HMODULE);
    return TRUE;
}

DWORD GetModuleBaseNameW(HANDLE process, HMODULE, LPWSTR baseName, DWORD size) {
    krel_platform::CancellationOff cancellationOff;
    pid_t pid = 0;
    std::shared_ptr<KernelProcess> object;
    if (!resolve(process, pid, object)) {
        return 0;
    }
    if (baseName == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string target;
    if (!executableOf(pid, target)) {
        return 0;
    }
    std::wstring name = krel_platform::utf8ToWide(target.substr(target.rfind('/') + 1));
    name.resize(std::min<size_t>(name.size(), size - 1));
    std::copy(name.begin(), name.end(), baseName);
    baseName[name.size()] = L'\0';
    return static_cast<DWORD>(name.size());
}

LPCWSTR GetCommandLineW() {
    static const std::wstring& line =
        *new std::wstring(krel_platform::joinCommandLine(ownArguments()));
    return line.c_str();
}

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* numArgs) {
    if (numArgs == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::wstring> arguments;
    if (commandLine == nullptr || *commandLine == L'\0') {
        arguments.push_back(ownExecutable());
    } else {
        arguments = krel_platform::splitCommandLine(commandLine);
    }
    // One block: the pointer array, a null entry, then the strings with their terminators.
    size_t bytes = (arguments.size() + 1) * sizeof(LPWSTR);
    for (const std::wstring& argument : arguments) {
        bytes += (argument.size() + 1) * sizeof(wchar_t);
    }
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LPWSTR* pointers = static_cast<LPWSTR*>(block);
    wchar_t* text = reinterpret_cast<wchar_t*>(pointers + arguments.size() + 1);
    for (size_t index = 0; index < arguments.size(); ++index) {
        pointers[index] = text;
        text = std::copy(arguments[index].begin(), arguments[index].end(), text);
        *text++ = L'\0';
    }
    pointers[arguments.size()] = nullptr;
    *numArgs = static_cast<int>(arguments.size());
    return pointers;
}
