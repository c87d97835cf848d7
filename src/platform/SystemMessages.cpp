#include "platform/SystemMessages.h"

#include <algorithm>
#include <iterator>

namespace krel_platform {

namespace {

struct SystemMessage {
    DWORD code;
    const wchar_t* text;
};

// Sorted by code.
const SystemMessage SYSTEM_MESSAGES[] = {
    {0, L"The operation completed successfully.\r\n"},
    {1, L"Incorrect function.\r\n"},
    {2, L"The system cannot find the file specified.\r\n"},
    {3, L"The system cannot find the path specified.\r\n"},
    {4, L"The system cannot open the file.\r\n"},
    {5, L"Access is denied.\r\n"},
    {6, L"The handle is invalid.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {12, L"The access code is invalid.\r\n"},
    {13, L"The data is invalid.\r\n"},
    {14, L"Not enough memory resources are available to complete this operation.\r\n"},
    {15, L"The system cannot find the drive specified.\r\n"},
    {16, L"The directory cannot be removed.\r\n"},
    {17, L"The system cannot move the file to a different disk drive.\r\n"},
    {18, L"There are no more files.\r\n"},
    {19, L"The media is write protected.\r\n"},
    {21, L"The device is not ready.\r\n"},
    {31, L"A device attached to the system is not functioning.\r\n"},
    {32, L"The process cannot access the file because it is being used by another process.\r\n"},
    {33, L"The process cannot access the file because another process has locked a portion of "
         L"the file.\r\n"},
    {38, L"Reached the end of the file.\r\n"},
    {39, L"The disk is full.\r\n"},
    {50, L"The request is not supported.\r\n"},
    {53, L"The network path was not found.\r\n"},
    {80, L"The file exists.\r\n"},
    {82, L"The directory or file cannot be created.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {109, L"The pipe has been ended.\r\n"},
    {111, L"The file name is too long.\r\n"},
    {112, L"There is not enough space on the disk.\r\n"},
    {120, L"This function is not supported on this system.\r\n"},
    {122, L"The data area passed to a system call is too small.\r\n"},
    {123, L"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, L"The specified module could not be found.\r\n"},
    {127, L"The specified procedure could not be found.\r\n"},
    {131, L"An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {145, L"The directory is not empty.\r\n"},
    {160, L"One or more arguments are not correct.\r\n"},
    {161, L"The specified path is invalid.\r\n"},
    {170, L"The requested resource is in use.\r\n"},
    {183, L"Cannot create a file when that file already exists.\r\n"},
    {186, L"The flag passed is not correct.\r\n"},
    {187, L"The specified system semaphore name was not found.\r\n"},
    {193, L"%1 is not a valid Win32 application.\r\n"},
    {206, L"The filename or extension is too long.\r\n"},
    {231, L"All pipe instances are busy.\r\n"},
    {232, L"The pipe is being closed.\r\n"},
    {233, L"No process is on the other end of the pipe.\r\n"},
    {234, L"More data is available.\r\n"},
    {258, L"The wait operation timed out.\r\n"},
    {259, L"No more data is available.\r\n"},
    {267, L"The directory name is invalid.\r\n"},
    {288, L"Attempt to release mutex not owned by caller.\r\n"},
    {298, L"Too many posts were made to a semaphore.\r\n"},
    {317, L"The system cannot find message text for message number 0x%1 in the message file for "
          L"%2.\r\n"},
    {487, L"Attempt to access invalid address.\r\n"},
    {995, L"The I/O operation has been aborted because of either a thread exit or an "
          L"application request.\r\n"},
    {998, L"Invalid access to memory location.\r\n"},
    {1009, L"The configuration registry database is corrupt.\r\n"},
    {1010, L"The configuration registry key is invalid.\r\n"},
    {1011, L"The configuration registry key could not be opened.\r\n"},
    {1012, L"The configuration registry key could not be read.\r\n"},
    {1013, L"The configuration registry key could not be written.\r\n"},
    {1018, L"Illegal operation attempted on a registry key that has been marked for "
           L"deletion.\r\n"},
    {1051, L"A stop control has been sent to a service that other running services are "
           L"dependent on.\r\n"},
    {1052, L"The requested control is not valid for this service.\r\n"},
    {1053, L"The service did not respond to the start or control request in a timely "
           L"fashion.\r\n"},
    {1054, L"A thread could not be created for the service.\r\n"},
    {1055, L"The service database is locked.\r\n"},
    {1056, L"An instance of the service is already running.\r\n"},
    {1057, L"The account name is invalid or does not exist, or the password is invalid for the "
           L"account name specified.\r\n"},
    {1058, L"The service cannot be started, either because it is disabled or because it has no "
           L"enabled devices associated with it.\r\n"},
    {1059, L"Circular service dependency was specified.\r\n"},
    {1060, L"The specified service does not exist as an installed service.\r\n"},
    {1061, L"The service cannot accept control messages at this time.\r\n"},
    {1062, L"The service has not been started.\r\n"},
    {1063, L"The service process could not connect to the service controller.\r\n"},
    {1064, L"An exception occurred in the service when handling the control request.\r\n"},
    {1066, L"The service has returned a service-specific error code.\r\n"},
    {1067, L"The process terminated unexpectedly.\r\n"},
    {1068, L"The dependency service or group failed to start.\r\n"},
    {1069, L"The service did not start due to a logon failure.\r\n"},
    {1070, L"After starting, the service hung in a start-pending state.\r\n"},
    {1072, L"The specified service has been marked for deletion.\r\n"},
    {1073, L"The specified service already exists.\r\n"},
    {1075, L"The dependency service does not exist or has been marked for deletion.\r\n"},
    {1078, L"The name is already in use as either a service name or a service display name.\r\n"},
    {1114, L"A dynamic link library (DLL) initialization routine failed.\r\n"},
    {1168, L"Element not found.\r\n"},
    {1314, L"A required privilege is not held by the client.\r\n"},
    {1450, L"Insufficient system resources exist to complete the requested service.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
    {1722, L"The RPC server is unavailable.\r\n"},
    {1813, L"The specified resource type cannot be found in the image file.\r\n"},
    {1814, L"The specified resource name cannot be found in the image file.\r\n"},
    {1815, L"The specified resource language ID cannot be found in the image file.\r\n"},
    {10048, L"Only one usage of each socket address (protocol/network address/port) is normally "
            L"permitted.\r\n"},
    {10054, L"An existing connection was forcibly closed by the remote host.\r\n"},
    {10060, L"A connection attempt failed because the connected party did not properly respond "
            L"after a period of time, or established connection failed because connected host "
            L"has failed to respond.\r\n"},
    {10061, L"No connection could be made because the target machine actively refused it.\r\n"},
};

} // namespace

const wchar_t* findSystemMessage(DWORD code) {
    const auto end = std::end(SYSTEM_MESSAGES);
    const auto found =
        std::lower_bound(std::begin(SYSTEM_MESSAGES), end, code,
                         [](const SystemMessage& entry, DWORD key) { return entry.code < key; });
    return found != end && found->code == code ? found->text : nullptr;
}

} // namespace krel_platform
