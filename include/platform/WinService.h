// The service control manager of the Windows API stand-in.
//
// There is no manager process. The service database is the machine hive of the registry
// stand-in: SYSTEM\CurrentControlSet\Services\<name>, a key holding ImagePath being a service.
// A running service serves its own control channel, a Unix socket file in a 0700 directory of
// the machine hive's owner beside machine.db, named by a hash of the service name (see
// ServiceChannel.h); only that account and root can serve or reach it, and clients accept
// answers only from them. Queries and control codes are fixed records answered with an error
// number and the service's SERVICE_STATUS. StartServiceW spawns the ImagePath through the
// process stand-in with KREL_SERVICE_NAME=<name> in its environment.
#pragma once

#include <vector>

#include "platform/WinError.h"
#include "platform/WinReg.h"
#include "platform/WinTypes.h"

#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_SERVICE_NO_THREAD 1054L
#define ERROR_SERVICE_DISABLED 1058L
#define ERROR_CIRCULAR_DEPENDENCY 1059L
#define ERROR_PROCESS_ABORTED 1067L
#define ERROR_SERVICE_DEPENDENCY_FAIL 1068L
#define ERROR_SERVICE_DEPENDENCY_DELETED 1075L

#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_ALL_ACCESS 0xF003Fu

#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_PAUSE_CONTINUE 0x0040u
#define SERVICE_INTERROGATE 0x0080u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define SERVICE_ALL_ACCESS 0xF01FFu

#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_BOOT_START 0x00000000u
#define SERVICE_SYSTEM_START 0x00000001u
#define SERVICE_AUTO_START 0x00000002u
#define SERVICE_DEMAND_START 0x00000003u
#define SERVICE_DISABLED 0x00000004u
#define SERVICE_ERROR_IGNORE 0x00000000u
#define SERVICE_ERROR_NORMAL 0x00000001u

#define SERVICE_STOPPED 1u
#define SERVICE_START_PENDING 2u
#define SERVICE_STOP_PENDING 3u
#define SERVICE_RUNNING 4u
#define SERVICE_CONTINUE_PENDING 5u
#define SERVICE_PAUSE_PENDING 6u
#define SERVICE_PAUSED 7u

#define SERVICE_ACCEPT_STOP 0x00000001u
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002u
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004u

#define SERVICE_CONTROL_STOP 1u
#define SERVICE_CONTROL_PAUSE 2u
#define SERVICE_CONTROL_CONTINUE 3u
#define SERVICE_CONTROL_INTERROGATE 4u
#define SERVICE_CONTROL_SHUTDOWN 5u

struct SC_HANDLE__;
typedef SC_HANDLE__* SC_HANDLE;
struct SERVICE_STATUS_HANDLE__;
typedef SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef SERVICE_STATUS* LPSERVICE_STATUS;

typedef void (*LPSERVICE_MAIN_FUNCTIONW)(DWORD argc, LPWSTR* argv);
typedef void (*LPHANDLER_FUNCTION)(DWORD control);

struct SERVICE_TABLE_ENTRYW {
    LPWSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
};

// All access needs write rights on the machine hive (else ERROR_ACCESS_DENIED). The machine
// name must be null or empty and the database null.
SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
// ERROR_SERVICE_DOES_NOT_EXIST for a name whose key holds no ImagePath.
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
// Writes the service's key; ERROR_SERVICE_EXISTS when it is there. Dependencies are a list of
// NUL-terminated names ended by an empty one; a null account is "LocalSystem".
SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName,
                         DWORD desiredAccess, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                         LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                         LPCWSTR password);
// Removes the key at once; a running service runs on.
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE handle);
// ERROR_SERVICE_ALREADY_RUNNING when the service answers on its channel, ERROR_SERVICE_DISABLED
// for a disabled one; starts the services it depends on that do not run first
// (ERROR_SERVICE_DEPENDENCY_DELETED for one that does not exist, ERROR_CIRCULAR_DEPENDENCY,
// ERROR_SERVICE_DEPENDENCY_FAIL for one that fails); then spawns it and returns once its
// dispatcher listens (ERROR_PROCESS_ABORTED if it ended first; ERROR_SERVICE_REQUEST_TIMEOUT
// after 30 s, the process being ended then).
BOOL StartServiceW(SC_HANDLE service, DWORD numServiceArgs, LPCWSTR* serviceArgVectors);
// Stop needs SERVICE_ACCEPT_STOP, pause and continue SERVICE_ACCEPT_PAUSE_CONTINUE
// (ERROR_INVALID_SERVICE_CONTROL); interrogate and 128-255 pass; shutdown and 6-127 are the
// system's (ERROR_INVALID_PARAMETER); ERROR_SERVICE_NOT_ACTIVE when it is not running.
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
// Answered from the status the service last reported, whatever its control handler is doing.
// A service without a channel is stopped; one whose process ended without reporting STOPPED
// is stopped with exit code ERROR_PROCESS_ABORTED.
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);

// ERROR_INVALID_DATA for a malformed table, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT without
// KREL_SERVICE_NAME in the environment (removed once found), ERROR_SERVICE_DOES_NOT_EXIST for a
// name not in the table, ERROR_SERVICE_ALREADY_RUNNING while one runs (in this process or
// another), ERROR_ACCESS_DENIED when the channel directory is not the machine hive owner's
// private one. Runs the service main function on a new thread, the channel on another (a
// client must send its request within a second; a client of another account is refused at
// once) and the control handler on the calling thread; returns TRUE once the service main
// function has returned.
BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* serviceStartTable);
// ERROR_INVALID_NAME for an empty name or one holding '\' or '/'; ERROR_SERVICE_DOES_NOT_EXIST
// for another service's name.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR serviceName, LPHANDLER_FUNCTION handler);
// ERROR_INVALID_HANDLE for an unknown handle, ERROR_INVALID_DATA for a state outside 1-7.
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle, LPSERVICE_STATUS status);

namespace krel_platform {

// Sends any control code as the system does (shutdown and 6-127 included); the acceptance
// rules of ControlService are not applied.
BOOL controlServiceAsSystem(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);

// Test hooks for running a dispatcher inside a test process: the marker the dispatcher looks
// for is set as if the manager had started the process, and the states reported through
// SetServiceStatus are recorded in order.
void setServiceMarkerForTesting(const wchar_t* serviceName);
// Shortens (or with 0 restores) the time StartServiceW waits for a started process.
void setServiceStartTimeoutForTesting(DWORD milliseconds);
std::vector<DWORD> reportedServiceStates();
void clearReportedServiceStates();

} // namespace krel_platform
