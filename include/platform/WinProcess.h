// Processes of the Windows API stand-in.
//
// A process handle names a pidfd in the handle table; it is signalled once the process has
// ended, so it joins waits beside events. Children are started with posix_spawn and reaped by
// one process-wide table, which keeps each child's exit code for every handle of its pid. The
// table never reaps a process it did not start and installs no SIGCHLD handler.
#pragma once

#include "platform/WinError.h"
#include "platform/WinHandles.h"
#include "platform/WinTypes.h"

struct SECURITY_ATTRIBUTES;

#define DETACHED_PROCESS 0x00000008u
#define CREATE_UNICODE_ENVIRONMENT 0x00000400u
#define STILL_ACTIVE 259u
#define ERROR_BAD_EXE_FORMAT 193L

#define PROCESS_TERMINATE 0x0001u
#define PROCESS_VM_READ 0x0010u
#define PROCESS_SET_INFORMATION 0x0200u
#define PROCESS_QUERY_INFORMATION 0x0400u
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000u
#endif

#define REALTIME_PRIORITY_CLASS 0x00000100u
#define HIGH_PRIORITY_CLASS 0x00000080u
#define ABOVE_NORMAL_PRIORITY_CLASS 0x00008000u
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define BELOW_NORMAL_PRIORITY_CLASS 0x00004000u
#define IDLE_PRIORITY_CLASS 0x00000040u

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOW* LPSTARTUPINFOW;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// Starts applicationName (or, when it is null, the first argument of the command line, searched
// on PATH) with the arguments split from commandLine by the Windows rules. The child has no
// terminal (its own session), stdin, stdout and stderr on /dev/null, no other inherited
// descriptor, the caller's environment, and currentDirectory as its working directory (the
// caller's when null or empty). A wide environment block (CREATE_UNICODE_ENVIRONMENT) replaces
// the caller's environment. Handles, other flags, a narrow environment block and the start-up
// structure are accepted and not used. Errors: 2 no such file, 3 no such
// directory, 5 refused, 193 not an executable, 8 no resources.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                    SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation);

// A handle of a running process: 87 when there is no such process, 5 when refused.
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);

// The pseudo-handle of the calling process (not in the table; closing it does nothing).
HANDLE GetCurrentProcess();

// 0 with ERROR_INVALID_HANDLE for a handle that is not a process.
DWORD GetProcessId(HANDLE process);

// STILL_ACTIVE while the process runs; a child's own code once it has ended (the code given to
// TerminateProcess, or 128 + the signal for another signal). A process that is not a child of
// this one has no knowable code once ended: FALSE with ERROR_NOT_SUPPORTED.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);

// Ends the process with SIGKILL through its pidfd; a child answers exitCode from then on.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

// Priority classes are nice values of every thread of the process (REALTIME -20, HIGH -10,
// ABOVE_NORMAL -5, NORMAL 0, BELOW_NORMAL 5, IDLE 19), read back by ranges. 0 on failure.
DWORD GetPriorityClass(HANDLE process);
// Raising the priority needs CAP_SYS_NICE (ERROR_ACCESS_DENIED otherwise).
BOOL SetPriorityClass(HANDLE process, DWORD priorityClass);

// Process status: the ids of running processes in ascending order, as many as fit; bytesReturned
// is the number of bytes filled (a full array means there may be more).
BOOL EnumProcesses(DWORD* processIds, DWORD bytes, LPDWORD bytesReturned);
// The process's main module only (its executable); kernel threads and ended processes have none.
BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD bytesNeeded);
// The file name of the process's executable, cut to size - 1 characters; 0 on failure.
DWORD GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName, DWORD size);

// The calling program's command line, rebuilt from its arguments so that CommandLineToArgvW
// gives them back exactly.
LPCWSTR GetCommandLineW();
// Splits a command line by the rules CreateProcessW uses; an empty line gives the program's
// path alone. One block, released with LocalFree; null with ERROR_INVALID_PARAMETER when
// numArgs is null.
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* numArgs);
